// The live clock: a place on the renderer's timeline, moved by real time, keys and edits (GL-free).
#include "live/playhead.h"

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cstdio>

static const double slowest = 0.25;
static const double fastest = 4.0;

static std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

enum class Shift { any, without, with };

struct KeyBinding {
    int key;
    Shift shift;
    bool repeats; // held down, the key acts again at the keyboard's repeat rate
    Command command;
};

static const KeyBinding keyBindings[] = {
    {GLFW_KEY_SPACE, Shift::any, false, Command::togglePause},
    {GLFW_KEY_LEFT, Shift::without, true, Command::secondBack},
    {GLFW_KEY_RIGHT, Shift::without, true, Command::secondForward},
    {GLFW_KEY_LEFT, Shift::with, true, Command::frameBack},
    {GLFW_KEY_RIGHT, Shift::with, true, Command::frameForward},
    {GLFW_KEY_COMMA, Shift::any, true, Command::frameBack},
    {GLFW_KEY_PERIOD, Shift::any, true, Command::frameForward},
    {GLFW_KEY_PAGE_UP, Shift::any, false, Command::previousScene},
    {GLFW_KEY_PAGE_DOWN, Shift::any, false, Command::nextScene},
    {GLFW_KEY_HOME, Shift::any, false, Command::toStart},
    {GLFW_KEY_L, Shift::any, false, Command::toggleLoop},
    {GLFW_KEY_LEFT_BRACKET, Shift::any, false, Command::slower},
    {GLFW_KEY_RIGHT_BRACKET, Shift::any, false, Command::faster},
    {GLFW_KEY_H, Shift::any, false, Command::toggleHud},
    {GLFW_KEY_F11, Shift::any, false, Command::toggleFullscreen},
    {GLFW_KEY_F12, Shift::any, false, Command::writeFrame},
    {GLFW_KEY_R, Shift::any, false, Command::reloadAll},
    {GLFW_KEY_ESCAPE, Shift::any, false, Command::quit},
};

Command commandForKey(int key, int action, int mods) {
    const bool shifted = (mods & GLFW_MOD_SHIFT) != 0;
    for (const KeyBinding& binding : keyBindings) {
        const bool shiftFits =
            binding.shift == Shift::any || shifted == (binding.shift == Shift::with);
        const bool actionFits = action == GLFW_PRESS || (action == GLFW_REPEAT && binding.repeats);
        if (binding.key == key && shiftFits && actionFits) {
            return binding.command;
        }
    }
    return Command::none;
}

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

bool applyCommand(Playhead& playhead, const Timeline& timeline, Command command) {
    const int64_t frame = playhead.frame;
    const size_t scene = timeline.endFrames.empty() ? 0 : shownSlot(playhead, timeline).scene;
    switch (command) {
    case Command::togglePause:
        playhead.paused = !playhead.paused;
        playhead.lastReading.reset();
        if (playhead.paused) {
            seekFrame(playhead, timeline, frame);
        } else if (frame == lastFrame(timeline)) {
            // Playing from the very end starts again from the beginning.
            seekFrame(playhead, timeline, 0);
        }
        return true;
    case Command::secondBack:
    case Command::secondForward:
        seekSeconds(playhead, timeline,
                    playhead.seconds + (command == Command::secondBack ? -1.0 : 1.0));
        return true;
    case Command::frameBack:
    case Command::frameForward:
        seekFrame(playhead, timeline, frame + (command == Command::frameBack ? -1 : 1));
        return true;
    case Command::previousScene:
        seekFrame(playhead, timeline, sceneFirstFrame(timeline, scene > 0 ? scene - 1 : 0));
        return true;
    case Command::nextScene:
        if (scene + 1 < timeline.endFrames.size()) {
            seekFrame(playhead, timeline, sceneFirstFrame(timeline, scene + 1));
        }
        return true;
    case Command::toStart:
        seekSeconds(playhead, timeline, 0.0);
        return true;
    case Command::toggleLoop:
        playhead.looping = !playhead.looping;
        return true;
    case Command::slower:
        playhead.speed = std::max(slowest, playhead.speed / 2);
        return true;
    case Command::faster:
        playhead.speed = std::min(fastest, playhead.speed * 2);
        return true;
    default:
        return false;
    }
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
