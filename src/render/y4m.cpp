// YUV4MPEG2 video: the stream header and the colour conversion of a frame (GL-free).
#include "render/y4m.h"

#include <cmath>
#include <cstring>
#include <numeric>

#include "frames/processor.h"

#if defined(__x86_64__)
// GCC 12 takes the AVX-512 intrinsics' deliberately undefined pass-through values for
// uninitialised variables once they are inlined.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

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

#if defined(__x86_64__)
// Compiled for SSSE3 whatever the build targets, and called only where the processor has it.
#define WITH_SSSE3 __attribute__((target("ssse3"))) static inline

// Four pixels' (or blocks') weighted channels summed, rounded and shifted, as 32-bit lanes.
WITH_SSSE3 __m128i weighed(__m128i first, __m128i second, __m128i weights) {
    const __m128i sums =
        _mm_hadd_epi32(_mm_madd_epi16(first, weights), _mm_madd_epi16(second, weights));
    return _mm_srai_epi32(_mm_add_epi32(sums, _mm_set1_epi32(128)), 8);
}

WITH_SSSE3 void lumaOfEight(const __m128i* pixels, uint8_t* line) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i weights = _mm_setr_epi16(66, 129, 25, 0, 66, 129, 25, 0);
    const __m128i a = _mm_loadu_si128(pixels), b = _mm_loadu_si128(pixels + 1);
    const __m128i low = weighed(_mm_unpacklo_epi8(a, zero), _mm_unpackhi_epi8(a, zero), weights);
    const __m128i high = weighed(_mm_unpacklo_epi8(b, zero), _mm_unpackhi_epi8(b, zero), weights);
    const __m128i words = _mm_add_epi16(_mm_packs_epi32(low, high), _mm_set1_epi16(16));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(line), _mm_packus_epi16(words, zero));
}

// Two 2 x 2 blocks' average colours, from four pixels of each row.
WITH_SSSE3 __m128i averages(__m128i up, __m128i down) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i left = _mm_add_epi16(_mm_unpacklo_epi8(up, zero), _mm_unpacklo_epi8(down, zero));
    const __m128i right = _mm_add_epi16(_mm_unpackhi_epi8(up, zero), _mm_unpackhi_epi8(down, zero));
    const __m128i sums =
        _mm_add_epi16(_mm_unpacklo_epi64(left, right), _mm_unpackhi_epi64(left, right));
    return _mm_srli_epi16(_mm_add_epi16(sums, _mm_set1_epi16(2)), 2);
}

WITH_SSSE3 void chromaOfFour(__m128i values, uint8_t* line) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i words = _mm_add_epi16(_mm_packs_epi32(values, zero), _mm_set1_epi16(128));
    const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, zero));
    std::memcpy(line, &bytes, 4);
}

// Eight pixels of two rows a step, in 16-bit lanes: each weighted sum is two multiply-adds paired
// up, so the bytes come out exactly as the formulas above give them. Returns the pixels done, a
// multiple of eight.
WITH_SSSE3 size_t rowPairByVectors(const uint8_t* upper, const uint8_t* lower, size_t width,
                                   uint8_t* upperLuma, uint8_t* lowerLuma, uint8_t* blueLine,
                                   uint8_t* redLine) {
    const __m128i blueWeights = _mm_setr_epi16(-38, -74, 112, 0, -38, -74, 112, 0);
    const __m128i redWeights = _mm_setr_epi16(112, -94, -18, 0, 112, -94, -18, 0);
    size_t x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m128i* up = reinterpret_cast<const __m128i*>(upper + 4 * x);
        const __m128i* down = reinterpret_cast<const __m128i*>(lower + 4 * x);
        lumaOfEight(up, upperLuma + x);
        lumaOfEight(down, lowerLuma + x);
        const __m128i first = averages(_mm_loadu_si128(up), _mm_loadu_si128(down));
        const __m128i second = averages(_mm_loadu_si128(up + 1), _mm_loadu_si128(down + 1));
        chromaOfFour(weighed(first, second, blueWeights), blueLine + x / 2);
        chromaOfFour(weighed(first, second, redWeights), redLine + x / 2);
    }
    return x;
}
#undef WITH_SSSE3

// The same steps sixteen pixels at a time, on processors with AVX2. Its vectors are two of the
// above side by side, each lane on its own; the lanes' results are put back in order at the end.
#define WITH_AVX2 __attribute__((target("avx2"))) static inline

WITH_AVX2 __m256i weighedWide(__m256i first, __m256i second, __m256i weights) {
    const __m256i sums =
        _mm256_hadd_epi32(_mm256_madd_epi16(first, weights), _mm256_madd_epi16(second, weights));
    return _mm256_srai_epi32(_mm256_add_epi32(sums, _mm256_set1_epi32(128)), 8);
}

// Eight 32-bit values, in order, as 16-bit lanes.
WITH_AVX2 __m128i narrowed(__m256i values) {
    return _mm_packs_epi32(_mm256_castsi256_si128(values), _mm256_extracti128_si256(values, 1));
}

WITH_AVX2 void lumaOfSixteen(const uint8_t* pixels, uint8_t* line) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i weights =
        _mm256_setr_epi16(66, 129, 25, 0, 66, 129, 25, 0, 66, 129, 25, 0, 66, 129, 25, 0);
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + 32));
    // Pixels 0-3 and 4-7 in the lanes of the one, 8-11 and 12-15 in those of the other.
    const __m256i low =
        weighedWide(_mm256_unpacklo_epi8(a, zero), _mm256_unpackhi_epi8(a, zero), weights);
    const __m256i high =
        weighedWide(_mm256_unpacklo_epi8(b, zero), _mm256_unpackhi_epi8(b, zero), weights);
    const __m128i offset = _mm_set1_epi16(16);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(line),
                     _mm_packus_epi16(_mm_add_epi16(narrowed(low), offset),
                                      _mm_add_epi16(narrowed(high), offset)));
}

// Four 2 x 2 blocks' average colours, from eight pixels of each row: blocks 0 and 1 in the
// first lane, 2 and 3 in the second.
WITH_AVX2 __m256i averagesWide(const uint8_t* upper, const uint8_t* lower) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i up = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(upper));
    const __m256i down = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lower));
    const __m256i left =
        _mm256_add_epi16(_mm256_unpacklo_epi8(up, zero), _mm256_unpacklo_epi8(down, zero));
    const __m256i right =
        _mm256_add_epi16(_mm256_unpackhi_epi8(up, zero), _mm256_unpackhi_epi8(down, zero));
    const __m256i sums =
        _mm256_add_epi16(_mm256_unpacklo_epi64(left, right), _mm256_unpackhi_epi64(left, right));
    return _mm256_srli_epi16(_mm256_add_epi16(sums, _mm256_set1_epi16(2)), 2);
}

// Eight blocks' values, which come as blocks 0, 1, 4, 5 in the first lane and 2, 3, 6, 7 in the
// second.
WITH_AVX2 void chromaOfEight(__m256i values, uint8_t* line) {
    const __m128i ordered = narrowed(_mm256_permute4x64_epi64(values, _MM_SHUFFLE(3, 1, 2, 0)));
    const __m128i words = _mm_add_epi16(ordered, _mm_set1_epi16(128));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(line),
                     _mm_packus_epi16(words, _mm_setzero_si128()));
}

// Returns the pixels done, a multiple of sixteen.
WITH_AVX2 size_t rowPairByWideVectors(const uint8_t* upper, const uint8_t* lower, size_t width,
                                      uint8_t* upperLuma, uint8_t* lowerLuma, uint8_t* blueLine,
                                      uint8_t* redLine) {
    const __m256i blueWeights =
        _mm256_setr_epi16(-38, -74, 112, 0, -38, -74, 112, 0, -38, -74, 112, 0, -38, -74, 112, 0);
    const __m256i redWeights =
        _mm256_setr_epi16(112, -94, -18, 0, 112, -94, -18, 0, 112, -94, -18, 0, 112, -94, -18, 0);
    size_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const uint8_t* up = upper + 4 * x;
        const uint8_t* down = lower + 4 * x;
        lumaOfSixteen(up, upperLuma + x);
        lumaOfSixteen(down, lowerLuma + x);
        const __m256i first = averagesWide(up, down);
        const __m256i second = averagesWide(up + 32, down + 32);
        chromaOfEight(weighedWide(first, second, blueWeights), blueLine + x / 2);
        chromaOfEight(weighedWide(first, second, redWeights), redLine + x / 2);
    }
    return x;
}
#undef WITH_AVX2

// Sixteen pixels of two rows a step where the processor has AVX-512, each pixel in a 32-bit lane
// of its own: red and blue are the 16-bit halves of one lane, green and alpha those of another,
// so that each weighted sum is two multiply-adds in place, and nothing has to be put back in order.
#define WITH_AVX512 __attribute__((target("avx512f,avx512bw"))) static inline

WITH_AVX512 __m512i redAndBlue(__m512i pixels) {
    return _mm512_and_si512(pixels, _mm512_set1_epi32(0x00FF00FF));
}
WITH_AVX512 __m512i greenAndAlpha(__m512i pixels) {
    return _mm512_and_si512(_mm512_srli_epi32(pixels, 8), _mm512_set1_epi32(0x00FF00FF));
}

// (red * r + green * g + blue * b + 128) >> 8 in each 32-bit lane.
WITH_AVX512 __m512i weighedLanes(__m512i redBlue, __m512i greenAlpha, int red, int green,
                                 int blue) {
    const int redBlueWeights =
        static_cast<int>(static_cast<uint32_t>(blue) << 16 | (static_cast<uint32_t>(red) & 0xFFFF));
    const __m512i sums =
        _mm512_add_epi32(_mm512_madd_epi16(redBlue, _mm512_set1_epi32(redBlueWeights)),
                         _mm512_madd_epi16(greenAlpha, _mm512_set1_epi32(green & 0xFFFF)));
    return _mm512_srai_epi32(_mm512_add_epi32(sums, _mm512_set1_epi32(128)), 8);
}

WITH_AVX512 void lumaOfSixteenLanes(__m512i pixels, uint8_t* line) {
    const __m512i luma = weighedLanes(redAndBlue(pixels), greenAndAlpha(pixels), 66, 129, 25);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(line),
                     _mm512_cvtepi32_epi8(_mm512_add_epi32(luma, _mm512_set1_epi32(16))));
}

// The rounded averages of each 2 x 2 block's channels, in the even lanes: the rows added, then
// each pixel and the one after it.
WITH_AVX512 __m512i blockAverages(__m512i upper, __m512i lower) {
    const __m512i rows = _mm512_add_epi16(upper, lower);
    const __m512i blocks = _mm512_add_epi16(rows, _mm512_srli_epi64(rows, 32));
    return _mm512_srli_epi16(_mm512_add_epi16(blocks, _mm512_set1_epi16(2)), 2);
}

// The even lanes' low bytes, plus 128.
WITH_AVX512 void chromaOfEightLanes(__m512i values, uint8_t* line) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(line),
                     _mm512_cvtepi64_epi8(_mm512_add_epi32(values, _mm512_set1_epi32(128))));
}

// Returns the pixels done, a multiple of sixteen.
WITH_AVX512 size_t rowPairByWidestVectors(const uint8_t* upper, const uint8_t* lower, size_t width,
                                          uint8_t* upperLuma, uint8_t* lowerLuma, uint8_t* blueLine,
                                          uint8_t* redLine) {
    size_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m512i up = _mm512_loadu_si512(upper + 4 * x);
        const __m512i down = _mm512_loadu_si512(lower + 4 * x);
        lumaOfSixteenLanes(up, upperLuma + x);
        lumaOfSixteenLanes(down, lowerLuma + x);
        const __m512i redBlue = blockAverages(redAndBlue(up), redAndBlue(down));
        const __m512i greenAlpha = blockAverages(greenAndAlpha(up), greenAndAlpha(down));
        chromaOfEightLanes(weighedLanes(redBlue, greenAlpha, -38, -74, 112), blueLine + x / 2);
        chromaOfEightLanes(weighedLanes(redBlue, greenAlpha, 112, -94, -18), redLine + x / 2);
    }
    return x;
}
#undef WITH_AVX512
#endif

void rgbaRowsToI420(const uint8_t* rgbaBottomUp, int width, int height, int firstRow, int rowCount,
                    uint8_t* out, VectorWidth widest) {
    const size_t columns = static_cast<size_t>(width);
    const size_t stride = columns * 4;
    const size_t chromaWidth = (columns + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    const int endRow = firstRow + rowCount;
    uint8_t* luma = out;
    uint8_t* blue = out + columns * static_cast<size_t>(height);
    uint8_t* red = blue + chromaWidth * static_cast<size_t>(chromaHeight);
    auto row = [&](int topDownRow) {
        return rgbaBottomUp + static_cast<size_t>(endRow - 1 - topDownRow) * stride;
    };
    auto lumaLine = [&](int y) { return luma + static_cast<size_t>(y) * columns; };
    // A pair of rows at a time, so that each pixel is fetched from memory once; the last row
    // repeats where the height is odd. Vectors take what they can, the loops below the rest.
    for (int cy = firstRow / 2; 2 * cy < endRow; ++cy) {
        const bool pair = 2 * cy + 1 < endRow;
        const uint8_t* upper = row(2 * cy);
        const uint8_t* lower = row(pair ? 2 * cy + 1 : 2 * cy);
        uint8_t* upperLuma = lumaLine(2 * cy);
        uint8_t* lowerLuma = lumaLine(pair ? 2 * cy + 1 : 2 * cy);
        uint8_t* blueLine = blue + static_cast<size_t>(cy) * chromaWidth;
        uint8_t* redLine = red + static_cast<size_t>(cy) * chromaWidth;
        size_t x = 0;
#if defined(__x86_64__)
        if (widest >= VectorWidth::avx512 && processorHasAvx512()) {
            x = rowPairByWidestVectors(upper, lower, columns, upperLuma, lowerLuma, blueLine,
                                       redLine);
        } else if (widest >= VectorWidth::avx2 && processorHasAvx2()) {
            x = rowPairByWideVectors(upper, lower, columns, upperLuma, lowerLuma, blueLine,
                                     redLine);
        }
        if (widest >= VectorWidth::ssse3 && processorHasSsse3()) {
            x += rowPairByVectors(upper + 4 * x, lower + 4 * x, columns - x, upperLuma + x,
                                  lowerLuma + x, blueLine + x / 2, redLine + x / 2);
        }
#else
        (void)widest;
#endif
        lumaRow(upper + 4 * x, columns - x, upperLuma + x);
        if (pair) {
            lumaRow(lower + 4 * x, columns - x, lowerLuma + x);
        }
        chromaRow(upper + 4 * x, lower + 4 * x, columns - x, blueLine + x / 2, redLine + x / 2);
    }
}
