// PNG files of rendered frames, written whole or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes RGBA pixels, bottom row first as OpenGL reads them, as an 8-bit RGB image top row
// first; alpha is dropped, as on screen. The path holds a whole image or nothing new afterwards.
// False with a one-line reason.
bool writePngFile(const std::string& path, const uint8_t* rgbaBottomUp, int width, int height,
                  std::string& error);

// The same from rows already as the file stores them (see rgbaToPngRows), top first.
bool writePngRowsFile(const std::string& path, const uint8_t* rows, int width, int height,
                      std::string& error);
inline size_t pngRowBytes(int width) {
    return 1 + 3 * static_cast<size_t>(width);
}
