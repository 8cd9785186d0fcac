// PNG files of rendered frames, written whole or not at all.
#include "frames/png.h"

#include <libdeflate.h>

#include <cstring>
#include <vector>

#include "frames/deflate.h"
#include "frames/whole_file.h"

static void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    out.insert(out.end(), bytes, bytes + 4);
}

// A chunk's length, type and data, then the CRC of type and data.
static void putChunk(std::vector<uint8_t>& out, const char type[5], const uint8_t* data,
                     size_t size) {
    putBigEndian(out, static_cast<uint32_t>(size));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    putBigEndian(out, libdeflate_crc32(0, out.data() + typeAt, size + 4));
}

// Rows top first, each its filter byte 0 (None) and RGB: the screen shows no alpha either.
// Unfiltered rows compress best and quickest of the five filters on rendered frames, whose
// shapes repeat exactly more often than their gradients do.
static void unfilteredRows(const uint8_t* rgbaBottomUp, int width, int height,
                           std::vector<uint8_t>& rows) {
    const size_t pixels = static_cast<size_t>(width);
    const size_t rowBytes = 1 + 3 * pixels;
    rows.resize(rowBytes * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const uint8_t* from = rgbaBottomUp + static_cast<size_t>(height - 1 - y) * 4 * pixels;
        uint8_t* to = rows.data() + static_cast<size_t>(y) * rowBytes;
        *to++ = 0;
        size_t x = 0;
        // Two pixels a word, the first byte the lowest; each store's last two bytes are
        // overwritten by the next one.
        for (; x + 3 <= pixels; x += 2) {
            uint64_t pair;
            std::memcpy(&pair, from + 4 * x, 8);
            pair = (pair & 0xFFFFFF) | ((pair >> 8) & 0xFFFFFF000000);
            std::memcpy(to + 3 * x, &pair, 8);
        }
        for (; x < pixels; ++x) {
            std::memcpy(to + 3 * x, from + 4 * x, 3);
        }
    }
}

// The file's bytes, from RGBA rows bottom first. Each thread keeps its own buffers: frames are
// encoded side by side, and a frame's buffers are as large each time.
static void encodePng(const uint8_t* rgbaBottomUp, int width, int height,
                      std::vector<uint8_t>& file) {
    thread_local std::vector<uint8_t> rows, compressed;
    unfilteredRows(rgbaBottomUp, width, height, rows);
    const size_t rowBytes = 1 + 3 * static_cast<size_t>(width);
    const size_t size = compressZlib(rows.data(), rows.size(), 3, rowBytes, compressed);
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    file.assign(signature, signature + sizeof signature);
    std::vector<uint8_t> header;
    putBigEndian(header, static_cast<uint32_t>(width));
    putBigEndian(header, static_cast<uint32_t>(height));
    // 8 bits, RGB, deflate, adaptive filtering, no interlace.
    header.insert(header.end(), {8, 2, 0, 0, 0});
    putChunk(file, "IHDR", header.data(), header.size());
    putChunk(file, "IDAT", compressed.data(), size);
    putChunk(file, "IEND", nullptr, 0);
}

bool writePngFile(const std::string& path, const uint8_t* rgbaBottomUp, int width, int height,
                  std::string& error) {
    thread_local std::vector<uint8_t> bytes;
    encodePng(rgbaBottomUp, width, height, bytes);
    return writeWholeFile(path, bytes.data(), bytes.size(), error);
}
