// prismwafer-live's command line, parsed without touching anything outside the arguments.
#include "live/options.h"

#include "frames/command_line.h"
#include "scene/message_text.h"

const char* const liveUsage =
    R"(Usage: prismwafer-live [options] [SCENE_LIST]
Plays the scene list in a window and follows every save of the list and its shaders.

  SCENE_LIST          default shaders/prog.csv; the paths in it are relative to the working directory, as for the player
  -r, --fps N         frames per second of the clock (default 60)
  -s, --size WxH      window size in pixels (default 1280x720)
      --at T          start at second T of the sequence (with --scene: of that scene)
      --scene N       start at the beginning of scene N, counted from 1
      --paused        start paused
      --fullscreen    start full screen
      --no-hud        start with the on-screen display hidden
      --audio FILE    play the soundtrack (WAV, FLAC, Ogg Vorbis, Opus, MP3) with the picture; its
                      playback is the clock. At speeds other than 1 it is muted
      --bpm N         the music's tempo: a bar and beat grid on the strip, the place as bar.beat.row
      --beats-per-bar N  beats a bar for the grid (default 4)
      --rows-per-beat N  rows a beat for the grid (default 4; 3 or 6 give triplet rows)
      --show          the demo for an audience: full screen, once from the start with its
                      soundtrack, no display, no file watching, Escape the only key; exits at the end
  -h, --help          print this help and exit
  -V, --version       print the version and exit

Keys: Space pause/play; Left/Right one second; Shift+Left/Right, ',' and '.' one frame;
Down/Up one beat, Shift+Down/Up one bar (with --bpm); Page Up/Page Down previous/next scene;
Home the start; L loop the scene; '[' and ']' speed; H on-screen display; F11 full screen;
F12 write the frame as PNG; R reload all; Escape quit.

Exit status: 0 done; 1 no window could be opened or the soundtrack cannot be read; 2 the command
line is wrong.
)";

static const std::vector<OptionDefinition> optionDefinitions = {
    {"fps", 'r', true},         {"size", 's', true},        {"at", 0, true},
    {"scene", 0, true},         {"paused", 0, false},       {"fullscreen", 0, false},
    {"no-hud", 0, false},       {"audio", 0, true},         {"bpm", 0, true},
    {"beats-per-bar", 0, true}, {"rows-per-beat", 0, true}, {"show", 0, false},
    {"help", 'h', false},       {"version", 'V', false},
};

// Takes one option; false stops the parsing (a refused value, --help, --version).
static bool applyOption(LiveCommandLine& result, const OptionDefinition& option,
                        const std::string& value) {
    LiveOptions& options = result.options;
    const std::string name = option.longName;
    std::string refused;
    if (name == "fps") {
        refused = readFramesPerSecond(value, options.fps);
    } else if (name == "size") {
        refused = readFrameSize(value, options.width, options.height);
    } else if (name == "at") {
        refused = readSeconds("--at", value, options.at);
    } else if (name == "scene") {
        refused = readCount("--scene", value, options.scene);
    } else if (name == "paused") {
        options.paused = true;
    } else if (name == "fullscreen") {
        options.fullscreen = true;
    } else if (name == "no-hud") {
        options.hud = false;
    } else if (name == "audio") {
        options.audio = value;
        refused = value.empty() ? "--audio needs a file" : "";
    } else if (name == "bpm") {
        refused = readTempo(value, options.bpm);
    } else if (name == "beats-per-bar") {
        refused = readCount("--beats-per-bar", value, options.beatsPerBar);
    } else if (name == "rows-per-beat") {
        refused = readCount("--rows-per-beat", value, options.rowsPerBeat);
    } else if (name == "show") {
        options.show = true;
    } else {
        result.action = name == "help" ? CommandLineAction::help : CommandLineAction::version;
        return false;
    }
    if (!refused.empty()) {
        result.action = CommandLineAction::usageError;
        result.error = refused;
        return false;
    }
    return true;
}

LiveCommandLine parseLiveOptions(const std::vector<std::string>& args) {
    LiveCommandLine result;
    result.action = CommandLineAction::run;
    std::vector<std::string> operands;
    std::string error;
    // --help and --version act where they stand, as soon as they are read.
    const bool complete = parseCommandLine(
        args, optionDefinitions,
        [&result](const OptionDefinition& option, const std::string& value) {
            return applyOption(result, option, value);
        },
        operands, error);
    if (!complete) {
        if (!error.empty()) {
            result.action = CommandLineAction::usageError;
            result.error = error;
        }
        return result;
    }
    if (operands.size() > 1) {
        result.action = CommandLineAction::usageError;
        result.error =
            "one scene list at most, not " + quoted(operands[0]) + " and " + quoted(operands[1]);
    } else if (!operands.empty() && operands[0].empty()) {
        result.action = CommandLineAction::usageError;
        result.error = "the scene list path is empty";
    } else if (!operands.empty()) {
        result.options.sceneList = operands[0];
    }
    return result;
}
