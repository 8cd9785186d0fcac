// prismwafer-live's command line, parsed without touching anything outside the arguments.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "frames/command_line.h"

struct LiveOptions {
    std::string sceneList = "shaders/prog.csv";
    double fps = 60.0;
    int width = 1280;
    int height = 720;
    std::optional<double> at; // with scene: that scene's own time
    int scene = 0;            // counted from 1; 0 when not given
    bool paused = false;
    bool fullscreen = false;
    bool hud = true;
    std::string audio; // the soundtrack, whose playback is the clock
    double bpm = 0.0;  // 0: no grid
    int beatsPerBar = 4;
    int rowsPerBeat = 4;
    bool show = false; // full screen, once through, Escape the only key
};

struct LiveCommandLine {
    CommandLineAction action = CommandLineAction::usageError;
    LiveOptions options;
    std::string error; // the one-line reason, for usageError
};

// args excludes the program name.
LiveCommandLine parseLiveOptions(const std::vector<std::string>& args);

extern const char* const liveUsage;
