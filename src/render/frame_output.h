// Where rendered frames go: PNG files or a YUV4MPEG2 stream, never left looking complete
// when a write fails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/options.h"

struct FrameOutput {
    OutputKind kind = OutputKind::none;
    std::string path;     // the file being made, or the pattern
    FramePattern pattern; // for a PNG sequence
    int width = 0;
    int height = 0;
    double fps = 0;
    int fd = -1;             // the video stream: a temporary file, or standard output
    std::string partialPath; // the temporary file that becomes `path` when finished
    std::vector<uint8_t> frameBytes;
};

// Checks that the output can be written and, for video, opens it and writes the stream header.
// videoFd is where "-" writes. False with a reason on failure.
bool openFrameOutput(FrameOutput& output, const RenderOptions& options, int videoFd,
                     std::string& error);

// Writes frame number `frame` from RGBA pixels, bottom row first.
bool writeFrame(FrameOutput& output, const uint8_t* rgbaBottomUp, int64_t frame,
                std::string& error);

// Completes the output: a video file takes its final name only now.
bool closeFrameOutput(FrameOutput& output, std::string& error);

// Removes whatever is unfinished after a failure.
void abandonFrameOutput(FrameOutput& output);
