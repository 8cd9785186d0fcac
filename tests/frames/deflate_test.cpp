// The PNG compressor's streams, decoded by an independent decoder and held against their input.
#include <gtest/gtest.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <tuple>

#include "frames/deflate.h"

using Bytes = std::vector<uint8_t>;

// What the stream's first length bytes decode to, failing the test where they do not decode.
static Bytes decoded(const Bytes& stream, size_t length, size_t most, const std::string& name) {
    Bytes back(most + 1);
    size_t size = 0;
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    const libdeflate_result result = libdeflate_zlib_decompress(decompressor, stream.data(), length,
                                                                back.data(), back.size(), &size);
    libdeflate_free_decompressor(decompressor);
    EXPECT_EQ(result, LIBDEFLATE_SUCCESS) << name;
    back.resize(size);
    return back;
}

// The stream's length; its bytes decode to exactly the input, and the narrower vectors give the
// same bytes as the widest.
static size_t roundTrip(const Bytes& input, size_t rowBytes, const std::string& name) {
    Bytes stream;
    const size_t length = compressZlib(input.data(), input.size(), 3, rowBytes, stream);
    EXPECT_TRUE(decoded(stream, length, input.size(), name) == input) << name;
    for (VectorWidth widest : {VectorWidth::none, VectorWidth::ssse3, VectorWidth::avx2}) {
        Bytes narrower;
        const size_t narrowerLength =
            compressZlib(input.data(), input.size(), 3, rowBytes, narrower, widest);
        EXPECT_TRUE(narrowerLength == length &&
                    std::equal(stream.begin(), stream.begin() + static_cast<long>(length),
                               narrower.begin()))
            << name << ", vector width " << static_cast<int>(widest);
    }
    return length;
}

TEST(Deflate, EveryStreamDecodesToItsInput) {
    std::mt19937 random(2026);
    Bytes noise(300000), skewed(1 << 20), period(3 * 32768 + 100), beyond(3 * 32769 + 100);
    for (uint8_t& byte : noise) {
        byte = static_cast<uint8_t>(random());
    }
    // Byte k with chance 2^-(k+1): the plain Huffman code of its literals is deeper than 15 bits.
    for (uint8_t& byte : skewed) {
        byte = static_cast<uint8_t>(__builtin_ctz(static_cast<uint32_t>(random()) | 1u << 31));
    }
    // Rows of noise that repeat, as long as the farthest distance a stream can name, and longer.
    for (size_t i = 0; i < period.size(); ++i) {
        period[i] = i < 32768 ? noise[i] : period[i - 32768];
    }
    for (size_t i = 0; i < beyond.size(); ++i) {
        beyond[i] = i < 32769 ? noise[i] : beyond[i - 32769];
    }
    // Rows like a rendered frame's: a background, bars that repeat the row above for a while and
    // then shift, and specks of noise, so that every distance wins somewhere and matches end at
    // every place in a window.
    const size_t pictureRow = 1 + 3 * 300;
    Bytes picture(pictureRow * 200);
    for (size_t y = 0; y < 200; ++y) {
        for (size_t x = 0; x < 300; ++x) {
            uint8_t* pixel = &picture[y * pictureRow + 1 + 3 * x];
            const bool bar = (x + y / 7 * 13) % 50 < 20 + y % 5;
            const bool speck = random() % 11 == 0;
            for (size_t c = 0; c < 3; ++c) {
                pixel[c] = speck ? static_cast<uint8_t>(random())
                                 : static_cast<uint8_t>(bar ? 40 * c + x / 60 : 7);
            }
        }
    }
    // With the row's length, and the most bytes a decent compressor needs: noise grows by little,
    // repeats cost little.
    const std::tuple<std::string, Bytes, size_t, size_t> cases[] = {
        {"nothing", {}, 0, 24},
        {"one byte", {7}, 0, 24},
        {"three bytes", {1, 2, 3}, 0, 24},
        {"a match's length and one", {5, 5, 5, 5, 5, 5, 5, 5, 5}, 0, 24},
        {"zeros, many blocks of longest matches", Bytes(5 << 20, 0), 0, 6000},
        {"noise over several blocks", noise, 0, noise.size() + noise.size() / 200},
        {"noise in rows", noise, 1000, noise.size() + noise.size() / 200},
        {"skewed", skewed, 64, skewed.size() / 2},
        {"a picture", picture, pictureRow, picture.size() / 3},
        {"rows repeated at the farthest distance", period, 32768, 32768 + 32768 / 10},
        {"rows too long to look back on", beyond, 32769, beyond.size() + beyond.size() / 200},
    };
    for (const auto& [name, input, rowBytes, most] : cases) {
        EXPECT_LE(roundTrip(input, rowBytes, name), most) << name;
    }
}

// A frame's RGBA rows, bottom first, become the PNG's: top first, each its filter byte 0 and RGB.
// Between rows of noise, the left half of every row is the same and the right half alternates,
// so a match with the wrong row above would show.
TEST(Deflate, FramesBecomeTheirUnfilteredRows) {
    const int width = 37, height = 35;
    std::mt19937 random(7);
    Bytes rgba(4 * width * height), rows;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t flat = x / 9 * 40503u + (x > 18) * (y % 2) * 977u;
            const uint32_t value = y % 7 == 0 ? static_cast<uint32_t>(random()) : flat;
            std::memcpy(&rgba[static_cast<size_t>(4 * (y * width + x))], &value, 4);
        }
    }
    for (int y = height - 1; y >= 0; --y) {
        rows.push_back(0);
        for (int x = 0; x < width; ++x) {
            const auto pixel = rgba.begin() + 4 * (y * width + x);
            rows.insert(rows.end(), pixel, pixel + 3);
        }
    }
    // Converted a strip of rows at a time, as the renderer reads them, then compressed whole.
    Bytes pieced(rows.size());
    for (int first = 0; first < height; first += 4) {
        const int count = std::min(4, height - first);
        rgbaToPngRows(&rgba[static_cast<size_t>(4 * width * (height - first - count))], width,
                      count, &pieced[static_cast<size_t>((1 + 3 * width) * first)]);
    }
    EXPECT_TRUE(pieced == rows);
    Bytes stream;
    const size_t length = compressZlib(pieced.data(), pieced.size(), 3, 1 + 3 * width, stream);
    EXPECT_TRUE(decoded(stream, length, rows.size(), "frame") == rows);
    EXPECT_LT(length, rows.size() / 2);
}
