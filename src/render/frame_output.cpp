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

#include "frames/deflate.h"
#include "frames/png.h"
#include "frames/whole_file.h"
#include "render/interrupt.h"
#include "render/part_files.h"
#include "render/y4m.h"
#include "scene/message_text.h"
#include "scene/text_file.h"

// Writes everything or reports why not (disk full, a closed pipe, an interruption).
static bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        if (interruptCaught()) {
            errno = EINTR;
            return false;
        }
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

// Made a level at a time, so that a failed render takes away exactly the folders it made and
// none that were there before.
static bool ensureParentDirectory(const std::string& path, std::vector<std::string>& created,
                                  std::string& error) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code failure;
    if (parent.empty() || std::filesystem::is_directory(parent, failure)) {
        return true;
    }
    std::filesystem::path folder;
    for (const std::filesystem::path& part : parent) {
        folder /= part;
        if (mkdir(folder.c_str(), 0777) == 0) {
            created.push_back(folder.string());
        } else if (errno != EEXIST) {
            error = describeErrno("cannot create the folder", folder.string());
            return false;
        }
    }
    return true;
}

static void removeCreatedFolders(FrameOutput& output) {
    for (auto folder = output.createdFolders.rbegin(); folder != output.createdFolders.rend();
         ++folder) {
        if (rmdir(folder->c_str()) == 0) {
            output.removed.push_back("the folder " + printable(*folder) + "/");
        }
    }
    output.createdFolders.clear();
}

bool openFrameOutput(FrameOutput& output, const RenderOptions& options, int videoFd,
                     std::string& error) {
    output.kind = options.outputKind;
    output.path = options.output;
    output.width = options.width;
    output.height = options.height;
    output.fps = options.fps;

    if (output.kind == OutputKind::y4mStdout) {
        output.fd = videoFd;
        return true;
    }
    if (output.kind == OutputKind::pngSequence) {
        output.pattern = *parseFramePattern(output.path);
    }
    if (output.kind == OutputKind::video) {
        output.ffmpegProgram = findOnPath("ffmpeg");
        if (output.ffmpegProgram.empty()) {
            error = "ffmpeg is not installed (Debian package ffmpeg)";
            return false;
        }
        std::string reason;
        if (!options.audio.empty() && !canReadTextFile(options.audio, reason)) {
            error = "cannot read the soundtrack " + printable(options.audio) + ": " + reason;
            return false;
        }
        output.encoding.container = output.path.substr(output.path.rfind('.') + 1);
        output.encoding.crf = options.crf;
        output.encoding.audio = options.audio;
    }
    // Probe the folder now rather than after every scene has been built.
    const std::string first =
        output.kind == OutputKind::pngSequence ? formatFramePath(output.pattern, 0) : output.path;
    if (!ensureParentDirectory(first, output.createdFolders, error)) {
        removeCreatedFolders(output);
        return false;
    }
    // A video's own temporary file is ours to replace; a frame's might be another run's.
    const std::string probe = partialPathFor(first);
    const int exclusive = output.kind == OutputKind::pngSequence ? O_EXCL : O_TRUNC;
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | exclusive | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = describeErrno("cannot write", first);
        removeCreatedFolders(output);
        return false;
    }
    // A disk that fails to close an empty file would fail the whole render.
    const bool closed = close(fd) == 0 || errno == EINTR;
    error = closed ? "" : describeErrno("cannot write", first);
    unlink(probe.c_str());
    return closed;
}

static bool writesPng(const FrameOutput& output) {
    return output.kind == OutputKind::pngSequence || output.kind == OutputKind::pngStill;
}

bool beginFrameOutput(FrameOutput& output, int64_t first, int64_t count, std::string& error) {
    if (writesPng(output)) {
        return true;
    }
    if (output.kind == OutputKind::y4mFile) {
        output.partialPath = partialPathFor(output.path);
        output.fd =
            open(output.partialPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (output.fd < 0) {
            error = describeErrno("cannot write", output.path);
            output.partialPath.clear();
            return false;
        }
    } else if (output.kind == OutputKind::video) {
        // The soundtrack starts where the rendered range does in the sequence.
        output.partialPath = partialPathFor(output.path);
        output.encoding.output = output.partialPath;
        output.encoding.audioStart = static_cast<double>(first) / output.fps;
        output.encoding.length = static_cast<double>(count) / output.fps;
        output.ffmpeg = std::make_unique<FfmpegProcess>();
        if (!startFfmpeg(*output.ffmpeg, output.ffmpegProgram, ffmpegArguments(output.encoding),
                         error)) {
            error = "cannot write " + printable(output.path) + ": " + error;
            output.partialPath.clear();
            return false;
        }
        output.fd = output.ffmpeg->input;
    }
    const std::string header = y4mStreamHeader(output.width, output.height, output.fps);
    if (!writeAll(output.fd, reinterpret_cast<const uint8_t*>(header.data()), header.size())) {
        error = output.kind == OutputKind::y4mStdout
                    ? describeErrno("cannot write to", "standard output")
                    : describeErrno("cannot write", output.path);
        output.ffmpegStoppedReading = output.kind == OutputKind::video;
        abandonFrameOutput(output);
        error = output.ffmpegFailure.empty() ? error : output.ffmpegFailure;
        return false;
    }
    return true;
}

// A video frame is its header and its planes; a PNG frame its rows.
static const size_t framePlanesAt = sizeof y4mFrameHeader - 1;

size_t convertedFrameBytes(const FrameOutput& output) {
    if (writesPng(output)) {
        return pngRowBytes(output.width) * static_cast<size_t>(output.height);
    }
    return framePlanesAt + i420FrameSize(output.width, output.height);
}

void convertFrameRows(const FrameOutput& output, const uint8_t* rgbaBottomUp, int firstRow,
                      int rowCount, uint8_t* frame) {
    if (writesPng(output)) {
        rgbaToPngRows(rgbaBottomUp, output.width, rowCount,
                      frame + pngRowBytes(output.width) * static_cast<size_t>(firstRow));
        return;
    }
    if (firstRow == 0) {
        std::memcpy(frame, y4mFrameHeader, framePlanesAt);
    }
    rgbaRowsToI420(rgbaBottomUp, output.width, output.height, firstRow, rowCount,
                   frame + framePlanesAt);
}

bool writeFrame(FrameOutput& output, const uint8_t* converted, int64_t frame, std::string& error) {
    switch (output.kind) {
    case OutputKind::pngSequence:
        return writePngRowsFile(formatFramePath(output.pattern, frame), converted, output.width,
                                output.height, error);
    case OutputKind::pngStill:
        return writePngRowsFile(output.path, converted, output.width, output.height, error);
    case OutputKind::y4mFile:
    case OutputKind::y4mStdout:
    case OutputKind::video: {
        if (!writeAll(output.fd, converted, convertedFrameBytes(output))) {
            if (output.kind == OutputKind::video) {
                output.ffmpegStoppedReading = true;
                error = describeErrno("cannot write to", "ffmpeg");
            } else {
                error = output.kind == OutputKind::y4mFile
                            ? describeErrno("cannot write", output.path)
                            : describeErrno("cannot write to", "standard output");
            }
            return false;
        }
        return true;
    }
    case OutputKind::none:
    case OutputKind::webPage: // written without frames
        break;
    }
    return true;
}

int64_t framesEncoded(const FrameOutput& output) {
    return output.ffmpeg ? output.ffmpeg->framesEncoded.load() : -1;
}

bool closeFrameOutput(FrameOutput& output, std::string& error) {
    if (output.kind == OutputKind::video) {
        output.fd = -1;
        if (!finishFfmpeg(*output.ffmpeg, false, error)) {
            error = "cannot write " + printable(output.path) + ": " + error;
            output.ffmpegFailure = error;
            abandonFrameOutput(output);
            return false;
        }
        // ffmpeg leaves its file to the page cache; it is synced here, as a y4m file is.
        output.fd = open(output.partialPath.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (output.kind == OutputKind::y4mFile || output.kind == OutputKind::video) {
        // Only a stream that reached the disk whole gets the final name. close releases the
        // descriptor even when interrupted, and fsync has kept the data by then.
        const bool synced = output.fd >= 0 && (fsync(output.fd) == 0 || errno == EINVAL);
        const bool closed = output.fd < 0 || close(output.fd) == 0 || errno == EINTR;
        output.fd = -1;
        if (!synced || !closed) {
            error = describeErrno("cannot write", output.path);
            abandonFrameOutput(output);
            return false;
        }
    } else {
        return writePartRecord(output, error);
    }
    std::string unrecorded;
    if (!writePartRecord(output, unrecorded) ||
        std::rename(output.partialPath.c_str(), output.path.c_str()) != 0) {
        error = unrecorded.empty() ? describeErrno("cannot write", output.path) : unrecorded;
        abandonPartRecord(output);
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
    if (output.ffmpeg && output.ffmpeg->pid >= 0) {
        // ffmpeg that stopped reading is ending by itself, and says why; any other is stopped.
        output.fd = -1;
        std::string said;
        if (!finishFfmpeg(*output.ffmpeg, !output.ffmpegStoppedReading, said) && !said.empty()) {
            output.ffmpegFailure = "cannot write " + printable(output.path) + ": " + said;
        }
    }
    if (!output.partialPath.empty()) {
        if (unlink(output.partialPath.c_str()) == 0) {
            output.removed.push_back(printable(output.partialPath));
        }
        output.partialPath.clear();
    }
    removeCreatedFolders(output);
}

std::string leftBehind(const FrameOutput& output, int64_t first, int64_t written) {
    std::string text;
    for (size_t i = 0; i < output.removed.size(); ++i) {
        text += (i == 0                           ? "removed "
                 : i + 1 == output.removed.size() ? " and "
                                                  : ", ") +
                output.removed[i];
    }
    std::string kept;
    if (output.kind == OutputKind::pngSequence && written > 0) {
        // The frames are written in order and every one begun is finished: a rerun from the next
        // frame on goes on where this one stopped.
        kept = "kept the finished frames " + printable(formatFramePath(output.pattern, first));
        if (written > 1) {
            kept += " to " + printable(formatFramePath(output.pattern, first + written - 1));
        }
    } else if (output.kind == OutputKind::pngStill && written > 0) {
        kept = "kept the finished " + printable(output.path);
    } else if (output.kind == OutputKind::y4mStdout) {
        kept = "the video on standard output is cut short after " + std::to_string(written) +
               (written == 1 ? " frame" : " frames");
    }
    if (!kept.empty()) {
        text += (text.empty() ? "" : "; ") + kept;
    }
    return text.empty() ? "nothing was written" : text;
}
