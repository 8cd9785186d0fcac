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

// BT.601 in 8-bit fixed point, limited range: Y 16..235, Cb and Cr 16..240.
static inline uint8_t lumaOf(int r, int g, int b) {
    return static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
}
static inline uint8_t blueDifferenceOf(int r, int g, int b) {
    return static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
}
static inline uint8_t redDifferenceOf(int r, int g, int b) {
    return static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

// A plain loop over bytes that the compiler turns into vector code.
static void lumaRow(const uint8_t* pixel, size_t width, uint8_t* line) {
    for (size_t x = 0; x < width; ++x) {
        line[x] = lumaOf(pixel[4 * x], pixel[4 * x + 1], pixel[4 * x + 2]);
    }
}

// Cb and Cr of the 2 x 2 blocks of two rows; the last column repeats where the width is odd.
static void chromaRow(const uint8_t* upper, const uint8_t* lower, size_t width, uint8_t* blueLine,
                      uint8_t* redLine) {
    size_t cx = 0;
    auto block = [&](size_t left, size_t right) {
        const int r = (upper[left] + upper[right] + lower[left] + lower[right] + 2) >> 2;
        const int g =
            (upper[left + 1] + upper[right + 1] + lower[left + 1] + lower[right + 1] + 2) >> 2;
        const int b =
            (upper[left + 2] + upper[right + 2] + lower[left + 2] + lower[right + 2] + 2) >> 2;
        blueLine[cx] = blueDifferenceOf(r, g, b);
        redLine[cx] = redDifferenceOf(r, g, b);
    };
    for (; cx < width / 2; ++cx) {
        block(8 * cx, 8 * cx + 4);
    }
    if (width % 2 != 0) {
        block(8 * cx, 8 * cx);
    }
}

void rgbaToI420(const uint8_t* rgbaBottomUp, int width, int height, uint8_t* out) {
    const size_t columns = static_cast<size_t>(width);
    const size_t stride = columns * 4;
    const size_t chromaWidth = (columns + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    uint8_t* luma = out;
    uint8_t* blue = out + columns * static_cast<size_t>(height);
    uint8_t* red = blue + chromaWidth * static_cast<size_t>(chromaHeight);
    auto row = [&](int topDownRow) {
        return rgbaBottomUp + static_cast<size_t>(height - 1 - topDownRow) * stride;
    };
    auto lumaLine = [&](int y) {
        const uint8_t* pixel = row(y);
        uint8_t* line = luma + static_cast<size_t>(y) * columns;
        lumaRow(pixel, columns, line);
    };
    // A pair of rows at a time, so that each pixel is fetched from memory once; the last row
    // repeats where the height is odd.
    for (int cy = 0; cy < chromaHeight; ++cy) {
        const bool pair = 2 * cy + 1 < height;
        lumaLine(2 * cy);
        if (pair) {
            lumaLine(2 * cy + 1);
        }
        const uint8_t* upper = row(2 * cy);
        const uint8_t* lower = row(pair ? 2 * cy + 1 : 2 * cy);
        uint8_t* blueLine = blue + static_cast<size_t>(cy) * chromaWidth;
        uint8_t* redLine = red + static_cast<size_t>(cy) * chromaWidth;
        chromaRow(upper, lower, columns, blueLine, redLine);
    }
}
