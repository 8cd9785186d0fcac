// The renderer's command line, parsed without touching anything outside the arguments.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "frames/command_line.h"

enum class OutputKind {
    none,        // --check
    pngSequence, // a pattern with one integer conversion
    pngStill,    // NAME.png with --at
    y4mFile,     // NAME.y4m
    y4mStdout,   // -
    video,       // NAME.mp4, .mkv, .mov or .webm, encoded by ffmpeg
    webPage,     // NAME.html, the sequence played by a browser
};

struct RenderOptions {
    std::string sceneList = "shaders/prog.csv";
    std::string output;
    OutputKind outputKind = OutputKind::none;
    double fps = 60.0;
    int width = 1920;
    int height = 1080;
    std::optional<double> from, to, at;
    std::optional<int> scene;         // from 1
    std::string directory;            // -C: where to work, "" for here
    std::string audio;                // the soundtrack of a finished video
    std::optional<int> crf;           // the finished video's quality
    int partIndex = 0, partCount = 0; // --part K/N; 0 for a whole render
    bool join = false;                // --join: the operands are the parts
    std::vector<std::string> parts;
    double bpm = 0.0; // --check: the music's tempo, 0 for none
    int beatsPerBar = 4;
    bool allowBroken = false;
    bool check = false;
    bool web = false; // --check --web: whether every shader translates for the web page
    bool quiet = false;
};

struct ParseResult {
    CommandLineAction action = CommandLineAction::usageError;
    RenderOptions options;
    std::string error; // the one-line reason, for usageError
};

// args excludes the program name.
ParseResult parseRenderOptions(const std::vector<std::string>& args);

extern const char* const renderUsage;

// A frame file name: the pattern's one integer conversion (%d, %05d, %i, %u, with an optional
// zero flag and width) filled with the frame number; %% stands for a single percent sign.
struct FramePattern {
    std::string prefix, suffix;
    bool zeroPad = false;
    int width = 0;
};
// Succeeds only for a pattern with exactly one integer conversion and nothing else.
std::optional<FramePattern> parseFramePattern(const std::string& pattern);
std::string formatFramePath(const FramePattern& pattern, long long frame);
