// An OpenGL 4.5 core context with no window system, through EGL.
#pragma once

#include <string>

struct HeadlessContext {
    void* display = nullptr; // EGLDisplay
    void* config = nullptr;  // EGLConfig, or none where the driver takes configless contexts
    void* context = nullptr; // EGLContext
    int glVersion = 0;       // as the loader reports it
};

// Makes a context current on the calling thread and loads the OpenGL entry points. On failure
// returns false with the reason in `error`, leaving nothing behind.
bool createHeadlessContext(HeadlessContext& headless, std::string& error);
void destroyHeadlessContext(HeadlessContext& headless);

// A second context that shares the first one's objects, for another thread: its own queue of
// work, which the first one's drawing does not hold up. Null where the driver cannot make one.
void* createSharedContext(const HeadlessContext& headless);
// Makes the context current on the calling thread; with null, leaves the thread with none.
bool makeCurrentOnThisThread(const HeadlessContext& headless, void* context);
// Destroys it, once no thread has it current.
void destroySharedContext(const HeadlessContext& headless, void* context);
