// Where rendered frames go: PNG files or a YUV4MPEG2 stream, never left looking complete
// when a write fails.
#include "render/frame_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "frames/png.h"
#include "render/y4m.h"

static std::string describeErrno(const std::string& what, const std::string& path) {
    return what + " " + printable(path) + ": " + std::strerror(errno);
}

// Writes everything or reports why not (disk full, a closed pipe).
static bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

static bool ensureParentDirectory(const std::string& path, std::string& error) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code failure;
    if (parent.empty() || std::filesystem::is_directory(parent, failure)) {
        return true;
    }
    std::filesystem::create_directories(parent, failure);
    if (failure) {
        error = "cannot create the folder " + printable(parent.string()) + ": " + failure.message();
        return false;
    }
    return true;
}

bool openFrameOutput(FrameOutput& output, const RenderOptions& options, int videoFd,
                     std::string& error) {
    output.kind = options.outputKind;
    output.path = options.output;
    output.width = options.width;
    output.height = options.height;
    output.fps = options.fps;

    if (output.kind == OutputKind::pngSequence || output.kind == OutputKind::pngStill) {
        if (output.kind == OutputKind::pngSequence) {
            output.pattern = *parseFramePattern(output.path);
        }
        // Probe the folder now rather than after every scene has been built.
        const std::string first = output.kind == OutputKind::pngSequence
                                      ? formatFramePath(output.pattern, 0)
                                      : output.path;
        if (!ensureParentDirectory(first, error)) {
            return false;
        }
        const std::string probe = partialPathFor(first);
        const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            error = describeErrno("cannot write", first);
            return false;
        }
        close(fd);
        unlink(probe.c_str());
        return true;
    }

    if (output.kind == OutputKind::y4mFile) {
        if (!ensureParentDirectory(output.path, error)) {
            return false;
        }
        output.partialPath = partialPathFor(output.path);
        output.fd =
            open(output.partialPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (output.fd < 0) {
            error = describeErrno("cannot write", output.path);
            output.partialPath.clear();
            return false;
        }
    } else {
        output.fd = videoFd;
    }
    output.frameBytes.resize(sizeof y4mFrameHeader - 1 +
                             i420FrameSize(output.width, output.height));
    std::memcpy(output.frameBytes.data(), y4mFrameHeader, sizeof y4mFrameHeader - 1);
    const std::string header = y4mStreamHeader(output.width, output.height, output.fps);
    if (!writeAll(output.fd, reinterpret_cast<const uint8_t*>(header.data()), header.size())) {
        error = describeErrno("cannot write",
                              output.kind == OutputKind::y4mFile ? output.path : "standard output");
        abandonFrameOutput(output);
        return false;
    }
    return true;
}

bool writeFrame(FrameOutput& output, const uint8_t* rgbaBottomUp, int64_t frame,
                std::string& error) {
    switch (output.kind) {
    case OutputKind::pngSequence:
        return writePngFile(formatFramePath(output.pattern, frame), rgbaBottomUp, output.width,
                            output.height, error);
    case OutputKind::pngStill:
        return writePngFile(output.path, rgbaBottomUp, output.width, output.height, error);
    case OutputKind::y4mFile:
    case OutputKind::y4mStdout: {
        rgbaToI420(rgbaBottomUp, output.width, output.height,
                   output.frameBytes.data() + sizeof y4mFrameHeader - 1);
        if (!writeAll(output.fd, output.frameBytes.data(), output.frameBytes.size())) {
            error = output.kind == OutputKind::y4mFile
                        ? describeErrno("cannot write", output.path)
                        : describeErrno("cannot write to", "standard output");
            return false;
        }
        return true;
    }
    case OutputKind::none:
        break;
    }
    return true;
}

bool closeFrameOutput(FrameOutput& output, std::string& error) {
    if (output.kind != OutputKind::y4mFile) {
        return true;
    }
    // Only a stream that reached the disk whole gets the final name.
    const bool synced = fsync(output.fd) == 0 || errno == EINVAL;
    const bool closed = close(output.fd) == 0;
    output.fd = -1;
    if (!synced || !closed || std::rename(output.partialPath.c_str(), output.path.c_str()) != 0) {
        error = describeErrno("cannot write", output.path);
        abandonFrameOutput(output);
        return false;
    }
    output.partialPath.clear();
    return true;
}

void abandonFrameOutput(FrameOutput& output) {
    if (output.kind == OutputKind::y4mFile && output.fd >= 0) {
        close(output.fd);
        output.fd = -1;
    }
    if (!output.partialPath.empty()) {
        unlink(output.partialPath.c_str());
        output.partialPath.clear();
    }
}
