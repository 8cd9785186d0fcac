// YUV4MPEG2 video: the stream header and the colour conversion of a frame (GL-free).
#include "render/y4m.h"

#include <cmath>
#include <numeric>

const char y4mFrameHeader[7] = "FRAME\n";

void frameRateFraction(double fps, uint64_t& numerator, uint64_t& denominator) {
    for (uint64_t candidate = 1; candidate <= 1001; ++candidate) {
        const double scaled = fps * static_cast<double>(candidate);
        if (std::fabs(scaled - std::round(scaled)) < 1e-6 * static_cast<double>(candidate)) {
            numerator = static_cast<uint64_t>(std::llround(scaled));
            denominator = candidate;
            return;
        }
    }
    numerator = static_cast<uint64_t>(std::llround(fps * 1000000.0));
    denominator = 1000000;
    const uint64_t divisor = std::gcd(numerator, denominator);
    numerator /= divisor;
    denominator /= divisor;
}

std::string y4mStreamHeader(int width, int height, double fps) {
    uint64_t numerator = 0, denominator = 1;
    frameRateFraction(fps, numerator, denominator);
    return "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + " F" +
           std::to_string(numerator) + ":" + std::to_string(denominator) +
           " Ip A1:1 C420jpeg XYSCSS=420JPEG XCOLORRANGE=LIMITED\n";
}

size_t i420FrameSize(int width, int height) {
    const size_t luma = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t chroma =
        static_cast<size_t>((width + 1) / 2) * static_cast<size_t>((height + 1) / 2);
    return luma + 2 * chroma;
}
