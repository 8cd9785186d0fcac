// The renderer's fixed clock: which scene each frame shows, and the time it feeds that scene.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A frame index that is never reached: the scene that has it never finishes.
constexpr int64_t neverEnds = INT64_MAX;

// Frame k shows second k / fps. Scene 0 becomes current at second 0; each scene finishes in the
// first frame whose time since it became current exceeds its duration, strictly, and the next
// scene becomes current at that frame's reading. Returns, for each scene, the frame in which it
// finishes; after a scene that never finishes (inf, nan, or too long to count in frames) the
// list stops with neverEnds.
std::vector<int64_t> sceneEndFrames(const std::vector<float>& durations, double fps);

// Frames in the whole sequence, or neverEnds when some scene never finishes.
int64_t sequenceFrameCount(const std::vector<int64_t>& endFrames);

struct FrameSlot {
    size_t scene;   // index into the scene list
    double elapsed; // the scene's "time" in this frame
};

// The scene frame k shows and its time. k must be below sequenceFrameCount().
FrameSlot frameSlot(const std::vector<int64_t>& endFrames, double fps, int64_t frame);

// The frame shown at second t: floor(t * fps), forgiving the rounding of decimal input.
int64_t frameAtSecond(double seconds, double fps);

// The frames a render writes: first to last, inclusive, or the reason there are none.
struct FrameRange {
    int64_t first = 0;
    int64_t last = -1;
    std::string error;
};

// --from picks the frames from the one shown at its second, --to those before the one shown at
// its second (so adjoining ranges tile the sequence), --at the one frame shown at its second;
// without them, the whole sequence. A sequence that never ends needs an end. With a scene (an
// index into the list), the range stays within that scene's frames and the seconds are its own
// time, the one its shaders see; frame numbers stay the sequence's.
FrameRange frameRange(const std::vector<int64_t>& endFrames, const std::vector<float>& durations,
                      double fps, std::optional<double> from, std::optional<double> to,
                      std::optional<double> at, std::optional<size_t> scene = std::nullopt);
