// The live clock: a place on the renderer's timeline, moved by real time, keys and edits (GL-free).
#include "live/playhead.h"

#include <algorithm>
#include <cstdio>

#include "scene/message_text.h"

static const double slowest = 0.25;
static const double fastest = 4.0;

Timeline makeTimeline(const std::vector<float>& durations, double fps) {
    return Timeline{fps, sceneEndFrames(durations, fps)};
}

int64_t lastFrame(const Timeline& timeline) {
    const int64_t count = sequenceFrameCount(timeline.endFrames);
    return count == neverEnds ? neverEnds - 1 : count - 1;
}

int64_t sceneFirstFrame(const Timeline& timeline, size_t scene) {
    return scene == 0 ? 0 : timeline.endFrames[scene - 1] + 1;
}

int64_t stripFrames(const Timeline& timeline, const Playhead& playhead) {
    const int64_t last = lastFrame(timeline);
    if (last != neverEnds - 1) {
        return last + 1;
    }
    const int64_t tenSeconds = static_cast<int64_t>(10 * timeline.fps) + 1;
    const int64_t lastStart = sceneFirstFrame(timeline, timeline.endFrames.size() - 1);
    return std::max(lastStart + tenSeconds, playhead.frame + playhead.frame / 4 + tenSeconds);
}

FrameSlot shownSlot(const Playhead& playhead, const Timeline& timeline) {
    return frameSlot(timeline.endFrames, timeline.fps, playhead.frame);
}

double shownSecond(const Playhead& playhead, const Timeline& timeline) {
    return timeline.endFrames.empty() ? playhead.seconds
                                      : static_cast<double>(playhead.frame) / timeline.fps;
}

void seekFrame(Playhead& playhead, const Timeline& timeline, int64_t frame) {
    if (timeline.endFrames.empty()) {
        return;
    }
    playhead.frame = std::clamp<int64_t>(frame, 0, lastFrame(timeline));
    playhead.seconds = static_cast<double>(playhead.frame) / timeline.fps;
}

void seekSeconds(Playhead& playhead, const Timeline& timeline, double seconds) {
    seconds = std::max(seconds, 0.0);
    const int64_t frame = frameAtSecond(seconds, timeline.fps);
    if (timeline.endFrames.empty()) {
        playhead.seconds = seconds;
    } else if (playhead.paused || frame > lastFrame(timeline)) {
        // Paused, the place sits on the frame; past the end, it is the last frame.
        seekFrame(playhead, timeline, frame);
    } else {
        playhead.frame = frame;
        playhead.seconds = seconds;
    }
}

void fitPlayhead(Playhead& playhead, const Timeline& timeline) {
    seekSeconds(playhead, timeline, playhead.seconds);
}

std::string startPlayhead(Playhead& playhead, const Timeline& timeline, std::optional<double> at,
                          int sceneNumber) {
    const size_t reachable = timeline.endFrames.size();
    if (sceneNumber <= 0 || reachable == 0) {
        seekSeconds(playhead, timeline, sceneNumber > 0 ? 0.0 : at.value_or(0.0));
        if (reachable > 0 && at && frameAtSecond(*at, timeline.fps) > lastFrame(timeline)) {
            return lastFrame(timeline) == neverEnds - 1
                       ? "second " + secondsText(*at) + " is too far away to count in frames"
                       : "the sequence ends before second " + secondsText(*at) +
                             "; starting at its last frame";
        }
        return "";
    }
    std::string note;
    const size_t scene = std::min(static_cast<size_t>(sceneNumber), reachable) - 1;
    if (static_cast<size_t>(sceneNumber) > reachable) {
        note = "there is no scene " + std::to_string(sceneNumber) +
               " to reach; starting at scene " + std::to_string(reachable);
    }
    const int64_t first = sceneFirstFrame(timeline, scene);
    const int64_t end = std::min(timeline.endFrames[scene], lastFrame(timeline));
    int64_t frame = first;
    if (at) {
        // The scene's time counts from the reading of the frame that ended the one before.
        const int64_t reading = scene == 0 ? 0 : timeline.endFrames[scene - 1];
        const int64_t offset = frameAtSecond(*at, timeline.fps);
        frame = offset > end - reading ? end : std::max(first, reading + offset);
        if (offset > end - reading && note.empty()) {
            note = "scene " + std::to_string(scene + 1) + " ends before its second " +
                   secondsText(*at) + "; starting at its last frame";
        }
    }
    seekFrame(playhead, timeline, frame);
    return note;
}

bool advancePlayhead(Playhead& playhead, const Timeline& timeline, double reading) {
    const double elapsed = playhead.lastReading ? reading - *playhead.lastReading : 0.0;
    playhead.lastReading = reading;
    if (playhead.paused || timeline.endFrames.empty()) {
        return false;
    }
    const int64_t before = playhead.frame;
    const size_t scene = shownSlot(playhead, timeline).scene;
    const int64_t end = timeline.endFrames[scene];
    const int64_t last = lastFrame(timeline);
    playhead.seconds += elapsed * playhead.speed;
    const int64_t reached = frameAtSecond(playhead.seconds, timeline.fps);
    if (playhead.looping && reached > end && end != neverEnds) {
        // Whole turns of the scene come off the place, so that what is left over still counts.
        const int64_t first = sceneFirstFrame(timeline, scene);
        const int64_t length = end - first + 1;
        const int64_t turns = (reached - first) / length;
        playhead.seconds -= static_cast<double>(turns * length) / timeline.fps;
        playhead.frame = std::clamp(frameAtSecond(playhead.seconds, timeline.fps), first, end);
    } else if (reached >= last) {
        // A sequence that ends stops on its last frame; one that never ends has no last frame.
        playhead.paused = last != neverEnds - 1;
        seekFrame(playhead, timeline, last);
    } else {
        playhead.frame = reached;
    }
    return playhead.frame != before;
}

void togglePause(Playhead& playhead, const Timeline& timeline) {
    const int64_t frame = playhead.frame;
    playhead.paused = !playhead.paused;
    playhead.lastReading.reset();
    if (playhead.paused) {
        seekFrame(playhead, timeline, frame);
    } else if (frame == lastFrame(timeline)) {
        seekFrame(playhead, timeline, 0);
    }
}

void toPreviousScene(Playhead& playhead, const Timeline& timeline) {
    const size_t scene = timeline.endFrames.empty() ? 0 : shownSlot(playhead, timeline).scene;
    seekFrame(playhead, timeline, sceneFirstFrame(timeline, scene > 0 ? scene - 1 : 0));
}

void toNextScene(Playhead& playhead, const Timeline& timeline) {
    const size_t scene = timeline.endFrames.empty() ? 0 : shownSlot(playhead, timeline).scene;
    if (scene + 1 < timeline.endFrames.size()) {
        seekFrame(playhead, timeline, sceneFirstFrame(timeline, scene + 1));
    }
}

void changeSpeed(Playhead& playhead, double factor) {
    playhead.speed = std::clamp(playhead.speed * factor, slowest, fastest);
}

void formatTitle(char* out, size_t size, size_t sceneIndex, size_t sceneCount,
                 const char* vertexName, double seconds, bool paused) {
    const char* pausedText = paused ? ", paused" : "";
    if (sceneCount == 0) {
        std::snprintf(out, size, "prismwafer-live: no scenes, %.3f s%s", seconds, pausedText);
        return;
    }
    std::snprintf(out, size, "prismwafer-live: scene %zu/%zu, %s, %.3f s%s", sceneIndex + 1,
                  sceneCount, vertexName, seconds, pausedText);
}
