// Where rendered frames go: PNG files or a YUV4MPEG2 stream, never left looking complete
// when a write fails.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/ffmpeg.h"
#include "render/options.h"
#include "render/parts.h"

struct FrameOutput {
    OutputKind kind = OutputKind::none;
    std::string path;     // the file being made, or the pattern
    FramePattern pattern; // for a PNG sequence
    int width = 0;
    int height = 0;
    double fps = 0;
    int fd = -1;             // the video stream: a temporary file, standard output or ffmpeg
    std::string partialPath; // the temporary file that becomes `path` when finished
    // A finished video: the encoder found on PATH, how to run it, and the running one.
    std::string ffmpegProgram;
    VideoEncoding encoding;
    std::unique_ptr<FfmpegProcess> ffmpeg;
    bool ffmpegStoppedReading = false;
    std::string ffmpegFailure; // what ffmpeg said when it failed by itself
    // The folders made for the output, outermost first, taken away again if the render fails;
    // and what abandoning it removed, for the message.
    std::vector<std::string> createdFolders;
    std::vector<std::string> removed;
    // With --part, the record written beside the output once it is whole.
    std::optional<PartRecord> part;
    std::string partRecordPath;
};

// Checks, before anything is drawn, that the output can be written (and, for a finished video,
// that ffmpeg and the soundtrack are there), writing nothing. videoFd is where "-" writes. False
// with a reason.
bool openFrameOutput(FrameOutput& output, const RenderOptions& options, int videoFd,
                     std::string& error);

// Starts writing the frames first to first + count - 1: a video's file or ffmpeg, and the
// stream header.
bool beginFrameOutput(FrameOutput& output, int64_t first, int64_t count, std::string& error);

// A frame as the output writes it (a PNG's rows, or a video frame's header and planes) is made
// from the RGBA pixels a few rows at a time, while they are in the cache: its size, and the
// conversion of rows firstRow to firstRow + rowCount - 1, counted from the top, given bottom row
// first. firstRow is even, and so is rowCount unless the rows end the frame.
size_t convertedFrameBytes(const FrameOutput& output);
void convertFrameRows(const FrameOutput& output, const uint8_t* rgbaBottomUp, int firstRow,
                      int rowCount, uint8_t* frame);
// Writes frame number `frame`, converted.
bool writeFrame(FrameOutput& output, const uint8_t* converted, int64_t frame, std::string& error);

// Frames ffmpeg has encoded so far, for a finished video; -1 for the other outputs.
int64_t framesEncoded(const FrameOutput& output);

// Completes the output: a video file takes its final name only now.
bool closeFrameOutput(FrameOutput& output, std::string& error);

// Removes whatever is unfinished after a failure, and the folders made for it that are still
// empty. When ffmpeg failed by itself, its words are kept in ffmpegFailure.
void abandonFrameOutput(FrameOutput& output);

// After an interrupted render was abandoned: what it removed and, of a PNG sequence, the frames
// that stay, `written` of them from frame `first`. "removed demo.y4m.partial".
std::string leftBehind(const FrameOutput& output, int64_t first, int64_t written);
