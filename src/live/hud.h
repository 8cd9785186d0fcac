// The on-screen display (Dear ImGui): timeline strip, clock, frame time and failing files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "live/playhead.h"
#include "live/sequence.h"

struct GLFWwindow;

struct HudFacts {
    const LiveSequence* sequence;
    const std::vector<PanelLine>* problems; // problemLines() of the sequence, kept by the caller
    const Timeline* timeline;
    const Playhead* playhead;
    double frameMilliseconds;
    bool shown;         // hidden, only the notice is drawn
    const char* notice; // a line confirming what was just done, or nullptr
};

// Installs the library's window callbacks, which pass every event on to those already set.
void createHud(GLFWwindow* window);
void destroyHud();
// Lays out this frame's display, or only the notice when the display is hidden; returns the frame
// to seek to while the timeline strip is clicked or dragged, or -1.
int64_t layOutHud(const HudFacts& facts);
// Draws what layOutHud laid out, leaving the GL state as it found it.
void drawHud();
