// The renderer's fixed clock: which scene each frame shows, and the time it feeds that scene.
#include "frames/frame_clock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "scene/message_text.h"
#include "scene/scene_text.h"

// Past 2^53 frames the division no longer tells neighbouring frames apart.
static const double largestFrame = 9007199254740992.0;

static double secondOf(int64_t frame, double fps) {
    return static_cast<double>(frame) / fps;
}

// The first frame, from `first` on, whose time since `startFrame`'s reading is up.
static int64_t endFrame(int64_t startFrame, int64_t first, float duration, double fps) {
    if (!(duration < INFINITY)) {
        return neverEnds; // inf and nan are never exceeded
    }
    const double start = secondOf(startFrame, fps);
    auto isUp = [&](int64_t frame) {
        return sceneTimeIsUp(secondOf(frame, fps) - start, duration);
    };
    // Start from the estimate and walk to the exact frame: the test is monotonic in the frame.
    const double estimate = std::floor((start + static_cast<double>(duration)) * fps);
    if (!(estimate < largestFrame)) {
        return neverEnds;
    }
    int64_t frame = estimate > static_cast<double>(first) ? static_cast<int64_t>(estimate) : first;
    while (frame > first && isUp(frame - 1)) {
        --frame;
    }
    while (!isUp(frame)) {
        ++frame;
    }
    return frame;
}

std::vector<int64_t> sceneEndFrames(const std::vector<float>& durations, double fps) {
    std::vector<int64_t> ends;
    int64_t startFrame = 0;
    int64_t first = 0;
    for (float duration : durations) {
        const int64_t end = endFrame(startFrame, first, duration, fps);
        ends.push_back(end);
        if (end == neverEnds) {
            break;
        }
        startFrame = end;
        first = end + 1;
    }
    return ends;
}

int64_t sequenceFrameCount(const std::vector<int64_t>& endFrames) {
    if (endFrames.empty()) {
        return 0;
    }
    return endFrames.back() == neverEnds ? neverEnds : endFrames.back() + 1;
}

FrameSlot frameSlot(const std::vector<int64_t>& endFrames, double fps, int64_t frame) {
    const auto current = std::lower_bound(endFrames.begin(), endFrames.end(), frame);
    const size_t scene = static_cast<size_t>(current - endFrames.begin());
    const int64_t startFrame = scene == 0 ? 0 : endFrames[scene - 1];
    return {scene, secondOf(frame, fps) - secondOf(startFrame, fps)};
}

int64_t frameAtSecond(double seconds, double fps) {
    // 0.29 s at 100 fps is 28.999999999999996 in binary; it means frame 29.
    const double product = seconds * fps;
    const double frame = std::floor(product + 1e-9 * std::max(1.0, product));
    return frame < largestFrame ? static_cast<int64_t>(frame) : neverEnds;
}

FrameRange frameRange(const std::vector<int64_t>& endFrames, const std::vector<float>& durations,
                      double fps, std::optional<double> from, std::optional<double> to,
                      std::optional<double> at, std::optional<size_t> scene) {
    FrameRange range;
    if (endFrames.empty()) {
        range.error = "the scene list has no scenes to render";
        return range;
    }
    // The frames to pick from, lowest to highest, and the frame whose reading is second 0.
    int64_t lowest = 0;
    int64_t highest = sequenceFrameCount(endFrames);
    int64_t origin = 0;
    size_t lastScene = endFrames.size() - 1;
    std::string within = "the sequence";
    if (scene) {
        const std::string name = "scene " + std::to_string(*scene + 1);
        if (*scene >= durations.size()) {
            range.error = "--scene " + std::to_string(*scene + 1) + ": the list has " +
                          std::to_string(durations.size()) +
                          (durations.size() == 1 ? " scene" : " scenes");
            return range;
        }
        if (*scene >= endFrames.size()) {
            range.error = name + " is never reached: scene " + std::to_string(endFrames.size()) +
                          " before it never ends";
            return range;
        }
        // A scene's clock starts at the reading of the frame that still shows the one before.
        origin = *scene == 0 ? 0 : endFrames[*scene - 1];
        lowest = *scene == 0 ? 0 : origin + 1;
        highest = endFrames[*scene] == neverEnds ? neverEnds : endFrames[*scene] + 1;
        lastScene = *scene;
        within = name;
    }
    const bool endless = highest == neverEnds;
    highest = endless ? neverEnds - 1 : highest - 1;
    if (endless && !to && !at) {
        range.error = "scene " + std::to_string(lastScene + 1) + " never ends (duration " +
                      formatDuration(durations[lastScene]) + "); give --to to say where to stop";
        return range;
    }
    // The frame shown at a second of the range's own clock, or neverEnds beyond counting.
    auto frameAt = [&](double seconds) {
        const int64_t frame = frameAtSecond(seconds, fps);
        return frame >= neverEnds - origin ? neverEnds : origin + frame;
    };
    // A second past the end, or too far away for a frame number to reach.
    auto outOfReach = [&](const char* option, double seconds) {
        const std::string where =
            endless ? "too far away to count in frames"
                    : "past the end of " + within + " (its last frame shows second " +
                          secondsText(static_cast<double>(highest - origin) / fps) + ")";
        return std::string(option) + " " + secondsText(seconds) + " is " + where;
    };
    if (at) {
        const int64_t frame = std::max(lowest, frameAt(*at));
        if (frame > highest) {
            range.error = outOfReach("--at", *at);
            return range;
        }
        range.first = range.last = frame;
        return range;
    }
    range.first = from ? std::max(lowest, frameAt(*from)) : lowest;
    if (range.first > highest) {
        range.error = outOfReach("--from", *from);
        return range;
    }
    if (to) {
        const int64_t end = frameAt(*to);
        if (end == neverEnds && endless) {
            range.error = outOfReach("--to", *to);
            return range;
        }
        range.last = std::min(highest, end - 1);
    } else {
        range.last = highest;
    }
    if (range.last < range.first) {
        range.error = "--to " + secondsText(*to) +
                      " leaves no frame to write: it ends before frame " +
                      std::to_string(range.first) + ", the first of the range";
    }
    return range;
}
