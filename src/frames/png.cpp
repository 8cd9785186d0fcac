// PNG files of rendered frames, written whole or not at all.
#include "frames/png.h"

#include <libdeflate.h>

#include <algorithm>
#include <vector>

#include "frames/deflate.h"
#include "frames/whole_file.h"

static void storeBigEndian(uint8_t* out, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    std::copy(bytes, bytes + 4, out);
}

static void putBigEndian(PageAlignedBytes& out, uint32_t value) {
    uint8_t bytes[4];
    storeBigEndian(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

// A chunk's length, type and data, then the CRC of type and data.
static void putChunk(PageAlignedBytes& out, const char type[5], const uint8_t* data, size_t size) {
    putBigEndian(out, static_cast<uint32_t>(size));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    putBigEndian(out, libdeflate_crc32(0, out.data() + typeAt, size + 4));
}

// The file's bytes, from its rows' compressed stream. Rows are stored unfiltered: that compresses
// best and quickest of the five filters on rendered frames, whose shapes repeat exactly more often
// than their gradients do. Each thread keeps its own buffer: frames are encoded side by side, and a
// frame's buffer is as large each time.
static void encodePng(const std::vector<uint8_t>& compressed, size_t size, int width, int height,
                      PageAlignedBytes& file) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    file.assign(signature, signature + sizeof signature);
    // The size, then 8 bits, RGB, deflate, adaptive filtering, no interlace.
    uint8_t header[13] = {0, 0, 0, 0, 0, 0, 0, 0, 8, 2, 0, 0, 0};
    storeBigEndian(header, static_cast<uint32_t>(width));
    storeBigEndian(header + 4, static_cast<uint32_t>(height));
    putChunk(file, "IHDR", header, sizeof header);
    putChunk(file, "IDAT", compressed.data(), size);
    putChunk(file, "IEND", nullptr, 0);
}

bool writePngFile(const std::string& path, const uint8_t* rgbaBottomUp, int width, int height,
                  std::string& error) {
    thread_local std::vector<uint8_t> rows;
    rows.resize(pngRowBytes(width) * static_cast<size_t>(height));
    rgbaToPngRows(rgbaBottomUp, width, height, rows.data());
    return writePngRowsFile(path, rows.data(), width, height, error);
}

bool writePngRowsFile(const std::string& path, const uint8_t* rows, int width, int height,
                      std::string& error) {
    thread_local std::vector<uint8_t> compressed;
    thread_local PageAlignedBytes bytes;
    const size_t rowBytes = pngRowBytes(width);
    encodePng(compressed,
              compressZlib(rows, rowBytes * static_cast<size_t>(height), 3, rowBytes, compressed),
              width, height, bytes);
    return writeWholeFile(path, bytes.data(), bytes.size(), error);
}
