// The line a finished render ends with, saying where and what it wrote (GL-free).
#include "render/wrote_line.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "render/y4m.h"
#include "scene/message_text.h"

std::string frameRateText(double fps) {
    uint64_t numerator = 0, denominator = 1;
    frameRateFraction(fps, numerator, denominator);
    if (denominator == 1) {
        return std::to_string(numerator) + " fps";
    }
    char decimal[64];
    std::snprintf(decimal, sizeof decimal, "%.3f", fps);
    std::string text = decimal;
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') {
        text.pop_back();
    }
    // 12.5 and 29.97 say all there is; 30000/1001 is not quite 29.97.
    uint64_t shownNumerator = 0, shownDenominator = 1;
    frameRateFraction(std::strtod(text.c_str(), nullptr), shownNumerator, shownDenominator);
    text += " fps";
    if (shownNumerator != numerator || shownDenominator != denominator) {
        text += " (" + std::to_string(numerator) + "/" + std::to_string(denominator) + ")";
    }
    return text;
}

static std::string seconds(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f s", value);
    return text;
}

std::string wroteLine(const RenderOptions& options, int64_t first, int64_t count) {
    const std::string picture = std::to_string(options.width) + "x" +
                                std::to_string(options.height) + " at " +
                                frameRateText(options.fps);
    const std::string length = seconds(static_cast<double>(count) / options.fps);
    const std::string frames = std::to_string(count) + (count == 1 ? " frame" : " frames");
    switch (options.outputKind) {
    case OutputKind::pngSequence:
        return "Wrote " + printable(options.output) + ": " +
               (count == 1 ? "frame " + std::to_string(first)
                           : "frames " + std::to_string(first) + " to " +
                                 std::to_string(first + count - 1)) +
               ", " + length + ", " + picture;
    case OutputKind::pngStill:
        return "Wrote " + printable(options.output) + ": frame " + std::to_string(first) + ", " +
               seconds(static_cast<double>(first) / options.fps) + ", " + picture;
    case OutputKind::y4mStdout:
        return "Wrote the video to standard output: " + frames + ", " + length + ", " + picture;
    default:
        return "Wrote " + printable(options.output) + ": " + frames + ", " + length + ", " +
               picture;
    }
}
