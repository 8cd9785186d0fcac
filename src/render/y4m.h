// YUV4MPEG2 video: the stream header and the colour conversion of a frame (GL-free).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "frames/processor.h"

// The frame rate as the smallest fraction that gives it back: 60 -> 60:1, 29.97 -> 2997:100.
void frameRateFraction(double fps, uint64_t& numerator, uint64_t& denominator);

// "YUV4MPEG2 W1920 H1080 F60:1 Ip A1:1 C420jpeg XYSCSS=420JPEG XCOLORRANGE=LIMITED\n"
std::string y4mStreamHeader(int width, int height, double fps);
extern const char y4mFrameHeader[7]; // "FRAME\n"

// Bytes of one frame's three planes: full-size luma, chroma at half size, rounded up.
size_t i420FrameSize(int width, int height);

// Converts RGBA pixels, rows from the bottom up as OpenGL reads them, to planar 4:2:0 YCbCr
// (BT.601 matrix, limited range, chroma sited between the pixels), top row first. Each chroma
// sample comes from the average colour of its 2 x 2 block (smaller at odd edges). Converts rows
// firstRow to firstRow + rowCount - 1 (counted from the top) of a frame height rows high, given
// as RGBA rows of their own, bottom first, into the whole frame's planes: the whole frame is
// rows 0 to height - 1. firstRow is even, and so is rowCount unless the rows end the frame.
void rgbaRowsToI420(const uint8_t* rgbaBottomUp, int width, int height, int firstRow, int rowCount,
                    uint8_t* out, VectorWidth widest = VectorWidth::avx512);
