// Finished video: ffmpeg run on a pipe that carries the YUV4MPEG2 stream, and what it says kept.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct VideoEncoding {
    std::string output;    // the file ffmpeg writes
    std::string container; // the finished name's extension: mp4, mkv, mov or webm
    std::optional<int> crf;
    std::string audio; // the soundtrack, "" for none
    double audioStart = 0;
    double length = 0; // seconds of video, which the soundtrack is cut to
};

// The soundtrack as ffmpeg's second input, cut to the video's range, and its encoding; none
// without one.
std::vector<std::string> soundtrackArguments(const VideoEncoding& encoding);

// ffmpeg's command line after the program name: the stream on standard input, progress reports
// on descriptor 3.
std::vector<std::string> ffmpegArguments(const VideoEncoding& encoding);

// The program's path as the shell would find it on PATH, or "" when it is not there.
std::string findOnPath(const std::string& name);

struct FfmpegProcess {
    pid_t pid = -1;
    int input = -1; // the write end of its standard input
    std::thread listener;
    std::string said;                      // the latest of its standard error, once it has ended
    std::atomic<int64_t> framesEncoded{0}; // from its progress reports
};

// Starts the program with the arguments; false with a reason when it cannot be started.
bool startFfmpeg(FfmpegProcess& process, const std::string& program,
                 const std::vector<std::string>& arguments, std::string& error);
// Ends its input and waits for it; with stop, or once the render is interrupted, ends it at once.
// False when it did not finish well, with its last lines as the reason when it failed by itself.
bool finishFfmpeg(FfmpegProcess& process, bool stop, std::string& error);
