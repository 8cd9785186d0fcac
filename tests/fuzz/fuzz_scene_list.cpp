// Fuzzes the scene list's bytes through everything short of OpenGL: lines, fields, numbers,
// the duration's text, the messages, and the clock that the renderer runs over the durations.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frames/frame_clock.h"
#include "scene/scene_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);
    std::vector<float> durations;
    size_t lineNumber = 0;
    for (std::string_view text : splitLines(content)) {
        const SceneLine line = readSceneLine(text, "shaders/prog.csv", ++lineNumber);
        if (!line.isScene) {
            continue;
        }
        const std::string loaded =
            loadedSceneLine(line.vertexPath, line.fragmentPath, line.instanceCount, line.duration);
        if (loaded.compare(0, 14, "Loaded scene (") != 0 || loaded.back() != ')') {
            __builtin_trap();
        }
        // The duration's text reads back as the same float, except for nan's sign and payload.
        const float reread = parseDuration(formatDuration(line.duration));
        if (!std::isnan(line.duration) &&
            std::fabs(reread - line.duration) > std::fabs(line.duration) * 1e-5f) {
            __builtin_trap();
        }
        durations.push_back(line.duration);
    }

    // Every frame of the sequence belongs to the scene whose end frame is the first at or after it.
    const double rates[] = {60.0, 23.976, 1000.0};
    for (double fps : rates) {
        const std::vector<int64_t> ends = sceneEndFrames(durations, fps);
        for (size_t i = 1; i < ends.size(); ++i) {
            if (ends[i] <= ends[i - 1]) {
                __builtin_trap();
            }
        }
        if (!ends.empty() && ends.back() != neverEnds) {
            const FrameSlot last = frameSlot(ends, fps, ends.back());
            if (last.scene != ends.size() - 1) {
                __builtin_trap();
            }
        }
        frameRange(ends, durations, fps, {}, {}, {});
    }
    return 0;
}
