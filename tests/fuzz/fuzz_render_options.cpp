// Fuzzes the renderer's command line: NUL-separated arguments through the option parser (which
// starts getopt afresh on every call, so inputs do not leak state into each other), the
// frame name pattern and the frame range that the options pick.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frames/frame_clock.h"
#include "render/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back().push_back(static_cast<char>(data[i]));
        }
    }
    const ParseResult parsed = parseRenderOptions(args);
    if (parsed.action == CommandLineAction::usageError) {
        if (parsed.error.empty() || parsed.error.find('\n') != std::string::npos) {
            __builtin_trap();
        }
        return 0;
    }
    if (parsed.action != CommandLineAction::run) {
        return 0;
    }
    const RenderOptions& options = parsed.options;
    if (!(options.fps > 0) || options.width <= 0 || options.height <= 0) {
        __builtin_trap();
    }
    if (options.outputKind == OutputKind::pngSequence) {
        const std::optional<FramePattern> pattern = parseFramePattern(options.output);
        if (!pattern) {
            __builtin_trap();
        }
        formatFramePath(*pattern, 0);
        formatFramePath(*pattern, INT64_MAX);
    }
    // The range these options pick over a small sequence, one scene of which never ends, and
    // within the scene they name.
    const std::vector<float> durations = {1.5f, 0.0f, 2.0f, __builtin_inff()};
    const std::vector<int64_t> ends = sceneEndFrames(durations, options.fps);
    const FrameRange range =
        frameRange(ends, durations, options.fps, options.from, options.to, options.at,
                   options.scene ? std::optional<size_t>(*options.scene - 1) : std::nullopt);
    if (range.error.empty() &&
        (range.first < 0 || range.first > range.last || range.last == neverEnds)) {
        __builtin_trap();
    }
    return 0;
}
