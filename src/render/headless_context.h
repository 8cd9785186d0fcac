// An OpenGL 4.5 core context with no window system, through EGL.
#pragma once

#include <string>

struct HeadlessContext {
    void* display = nullptr; // EGLDisplay
    void* context = nullptr; // EGLContext
    int glVersion = 0;       // as the loader reports it
};

// Makes a context current on the calling thread and loads the OpenGL entry points. On failure
// returns false with the reason in `error`, leaving nothing behind.
bool createHeadlessContext(HeadlessContext& headless, std::string& error);
void destroyHeadlessContext(HeadlessContext& headless);
