// The live clock: a place on the renderer's timeline, moved by real time, keys and edits (GL-free).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frames/frame_clock.h"

// The sequence as frames at the chosen rate, each scene ending where the renderer ends it.
// Scenes after one that never ends are never reached and have no end frame.
struct Timeline {
    double fps = 60.0;
    std::vector<int64_t> endFrames;
};

Timeline makeTimeline(const std::vector<float>& durations, double fps);
// The last frame of the sequence; -1 when it is empty.
int64_t lastFrame(const Timeline& timeline);
int64_t sceneFirstFrame(const Timeline& timeline, size_t scene);

// Where real time comes from: seconds on any steady scale. The window system's clock is the
// usual one; a soundtrack's playback position can take its place.
struct ClockSource {
    double (*seconds)(void* context);
    void* context;
};

struct Playhead {
    double seconds = 0.0; // the place in the sequence, in its own seconds
    int64_t frame = 0;    // the frame shown there
    bool paused = false;
    bool looping = false;
    double speed = 1.0;
    // The clock's reading when the place last moved with it; none after a pause.
    std::optional<double> lastReading;
};

// Pause or play; playing from the last frame starts again from the first.
void togglePause(Playhead& playhead, const Timeline& timeline);
// The first frame of the scene before or after the one shown (the first scene's, at the start).
void toPreviousScene(Playhead& playhead, const Timeline& timeline);
void toNextScene(Playhead& playhead, const Timeline& timeline);
// Halves or doubles the speed, from 0.25 to 4.
void changeSpeed(Playhead& playhead, double factor);
// Playing, moves the place on by the real time since the last reading times the speed, wrapping
// within the scene when looping and pausing on the last frame at the end; true when the frame
// shown changed.
bool advancePlayhead(Playhead& playhead, const Timeline& timeline, double reading);
void seekFrame(Playhead& playhead, const Timeline& timeline, int64_t frame);
void seekSeconds(Playhead& playhead, const Timeline& timeline, double seconds);
// After the timeline changed: the same second, or the last frame when the sequence got shorter.
// An empty timeline leaves the place alone, for when the list comes back.
void fitPlayhead(Playhead& playhead, const Timeline& timeline);
// The start that --at and --scene ask for; a one-line note when it is not there to start at.
std::string startPlayhead(Playhead& playhead, const Timeline& timeline, std::optional<double> at,
                          int sceneNumber);

// The frames the timeline strip spans: the whole sequence, or for one that never ends, its last
// scene's start and some way past the playhead.
int64_t stripFrames(const Timeline& timeline, const Playhead& playhead);

// The scene the frame shown belongs to and the time it feeds that scene, as the renderer does.
// The timeline must not be empty.
FrameSlot shownSlot(const Playhead& playhead, const Timeline& timeline);
// The second of the frame shown: what the title and the display call the sequence time.
double shownSecond(const Playhead& playhead, const Timeline& timeline);

// "prismwafer-live: scene 2/8, orbits.vert, 13.250 s, paused", written into a fixed buffer so
// that a frame can compare it with the last one without allocating. sceneCount 0: no scenes.
void formatTitle(char* out, size_t size, size_t sceneIndex, size_t sceneCount,
                 const char* vertexName, double seconds, bool paused);
