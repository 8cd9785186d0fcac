// The on-screen display (Dear ImGui): timeline strip, clock, frame time and failing files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frames/music_grid.h"
#include "frames/soundtrack.h"
#include "live/playhead.h"
#include "live/sequence.h"

struct GLFWwindow;

// The soundtrack's waveform under the strip, worked out again only when the strip changes.
struct StripSound {
    const Soundtrack* soundtrack = nullptr;
    std::vector<float> peaks;
    int64_t frames = -1;
};

struct HudFacts {
    const LiveSequence* sequence;
    const std::vector<PanelLine>* problems; // problemLines() of the sequence, kept by the caller
    const Timeline* timeline;
    const Playhead* playhead;
    double frameMilliseconds;
    bool shown;            // hidden, only the notice is drawn
    const char* notice;    // a line confirming what was just done, or nullptr
    const MusicGrid* grid; // bpm 0: none
    StripSound* sound;     // without a soundtrack, no waveform
};

// Installs the library's window callbacks, which pass every event on to those already set.
void createHud(GLFWwindow* window);
void destroyHud();
// Lays out this frame's display, or only the notice when the display is hidden; returns the frame
// to seek to while the timeline strip is clicked or dragged, or -1.
int64_t layOutHud(const HudFacts& facts);
// Draws what layOutHud laid out, leaving the GL state as it found it.
void drawHud();
