// The live window's events, kept for the loop: commands in the order their keys were pressed,
// and whether a new frame is needed.
#pragma once

#include <cstddef>

#include "live/commands.h"

struct GLFWwindow;

struct Input {
    Command commands[64];
    size_t commandCount = 0;
    bool redraw = true;
    // The framebuffer's size, kept here because asking the window system costs a round trip.
    int width = 0;
    int height = 0;
};

// Sets the window's callbacks to fill `input`, which must outlive the window's events.
void followWindowInput(GLFWwindow* window, Input& input);
