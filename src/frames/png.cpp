// PNG files of rendered frames, written whole or not at all.
#include "frames/png.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "scene/message_text.h"

// Fast compression: the renderer writes thousands of frames; size matters less than time.
static const int pngCompressionLevel = 1;

std::string partialPathFor(const std::string& path) {
    return path + ".partial";
}

// libpng reports failures by jumping back here; nothing with a destructor lives in between.
static bool encodePng(FILE* file, const uint8_t* rgbaBottomUp, int width, int height,
                      const char** reason) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        *reason = "out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        *reason = "the PNG encoder failed";
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, pngCompressionLevel);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // The fourth byte of each pixel is dropped: the screen shows no alpha either.
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    const size_t stride = static_cast<size_t>(width) * 4;
    for (int row = height - 1; row >= 0; --row) {
        png_write_row(png, rgbaBottomUp + static_cast<size_t>(row) * stride);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool writePngFile(const std::string& path, const uint8_t* rgbaBottomUp, int width, int height,
                  std::string& error) {
    const std::string partial = partialPathFor(path);
    FILE* file = std::fopen(partial.c_str(), "wb");
    if (!file) {
        error = describeErrno("cannot write", partial);
        return false;
    }
    const char* reason = nullptr;
    const bool encoded = encodePng(file, rgbaBottomUp, width, height, &reason);
    const bool flushed = encoded && std::fflush(file) == 0 && !std::ferror(file);
    const int flushErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!encoded || !flushed || !closed) {
        errno = flushErrno;
        error =
            encoded ? describeErrno("cannot write", path) : "cannot write " + path + ": " + reason;
        std::remove(partial.c_str());
        return false;
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        error = describeErrno("cannot write", path);
        std::remove(partial.c_str());
        return false;
    }
    return true;
}
