// PNG files of rendered frames, written whole or not at all.
#pragma once

#include <cstdint>
#include <string>

// Writes RGBA pixels, bottom row first as OpenGL reads them, as an 8-bit RGB image top row
// first; alpha is dropped, as on screen. The path holds a whole image or nothing new afterwards.
// False with a one-line reason.
bool writePngFile(const std::string& path, const uint8_t* rgbaBottomUp, int width, int height,
                  std::string& error);
