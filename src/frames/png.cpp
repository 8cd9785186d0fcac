// PNG files of rendered frames, written whole or not at all.
#include "frames/png.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include "scene/message_text.h"

// Fast compression: the renderer writes thousands of frames; size matters less than time.
static const int pngCompressionLevel = 1;

std::string partialPathFor(const std::string& path) {
    return path + ".partial";
}

// Straight to the descriptor rather than through stdio, which gives up on an interrupted write;
// libpng hands over many small pieces per chunk, so they are gathered into blocks first.
struct PngSink {
    int fd = -1;
    int failure = 0; // errno of the write that failed
    size_t used = 0;
    uint8_t block[65536];
};

static bool drainPngSink(PngSink& sink) {
    size_t done = 0;
    while (done < sink.used) {
        const ssize_t written = write(sink.fd, sink.block + done, sink.used - done);
        if (written < 0 && errno != EINTR) {
            sink.failure = errno;
            return false;
        }
        done += written < 0 ? 0 : static_cast<size_t>(written);
    }
    sink.used = 0;
    return true;
}

static void writePngData(png_structp png, png_bytep data, size_t size) {
    PngSink& sink = *static_cast<PngSink*>(png_get_io_ptr(png));
    while (size > 0) {
        if (sink.used == sizeof sink.block && !drainPngSink(sink)) {
            png_error(png, "write failed");
        }
        const size_t part = std::min(size, sizeof sink.block - sink.used);
        std::memcpy(sink.block + sink.used, data, part);
        sink.used += part;
        data += part;
        size -= part;
    }
}

static void flushPngData(png_structp) {}

// Silent: the caller says what failed, in one line.
static void stopPng(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

// libpng reports failures by jumping back here; nothing with a destructor lives in between.
static bool encodePng(PngSink& sink, const uint8_t* rgbaBottomUp, int width, int height,
                      const char** reason) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, stopPng, nullptr);
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
    png_set_write_fn(png, &sink, writePngData, flushPngData);
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
    auto sink = std::make_unique<PngSink>();
    sink->fd = open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (sink->fd < 0) {
        error = describeErrno("cannot write", path);
        return false;
    }
    const char* reason = nullptr;
    bool written = encodePng(*sink, rgbaBottomUp, width, height, &reason) && drainPngSink(*sink);
    // Only a file that reached the disk whole gets its name.
    if (written && fsync(sink->fd) != 0 && errno != EINVAL) {
        sink->failure = errno;
        written = false;
    }
    // The descriptor is released even when close fails; interrupted, it lost nothing fsync kept.
    if (close(sink->fd) != 0 && errno != EINTR && written) {
        sink->failure = errno;
        written = false;
    }
    if (!written) {
        errno = sink->failure;
        error = sink->failure != 0 ? describeErrno("cannot write", path)
                                   : "cannot write " + printable(path) + ": " + reason;
        unlink(partial.c_str());
        return false;
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        error = describeErrno("cannot write", path);
        unlink(partial.c_str());
        return false;
    }
    return true;
}
