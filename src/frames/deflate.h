// A zlib stream for a PNG's rows, made quickly enough to keep pace with drawing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "frames/processor.h"

// Compresses size bytes of an image's rows, pixelBytes a pixel and rowBytes a row (0 for
// neither), into buffer, which is grown when needed and never shrunk, so a thread that compresses
// frame after frame fills it once. Returns the stream's length in bytes.
size_t compressZlib(const uint8_t* data, size_t size, size_t pixelBytes, size_t rowBytes,
                    std::vector<uint8_t>& buffer, VectorWidth widest = VectorWidth::avx512);

// A PNG's rows, each its filter byte 0 (None) and RGB, top first, from rowCount RGBA rows, bottom
// first: 1 + 3 * width bytes a row.
void rgbaToPngRows(const uint8_t* rgbaBottomUp, int width, int rowCount, uint8_t* rows);
