// The renderer's command line, parsed without touching anything outside the arguments.
#include "render/options.h"

#include "render/parts.h"
#include "scene/message_text.h"

const char* const renderUsage =
    R"(Usage: prismwafer-render [options] [SCENE_LIST]
       prismwafer-render --join -o OUTPUT [--audio FILE] PART...
Renders the scene list headless, frame by frame, to PNG stills, YUV4MPEG2 or finished video.

  SCENE_LIST          default shaders/prog.csv; the paths in it are relative to the working directory, as for the player
  -C, --directory DIR work as if started in DIR: the list, the paths in it and the output are found from there
  -o, --output PATH   required unless --check:
                      frames/%05d.png  one PNG per frame: a pattern with one integer conversion, filled with the frame's number k
                                       in the whole sequence (so a range rendered on its own keeps its numbers and can be merged)
                      NAME.png         with --at: that one frame
                      NAME.y4m         a YUV4MPEG2 video file
                      -                the same video stream on standard output
                      NAME.mp4         a finished video encoded by ffmpeg: H.264 in .mp4, .mkv and .mov, VP9 in .webm
                      NAME.html        one self-contained web page that plays the sequence with WebGL2 (-r sets its clock)
  -r, --fps N         frames per second of the clock (default 60), or a fraction such as 30000/1001
  -s, --size WxH      frame size in pixels (default 1920x1080; scenes are written for 16:9, other shapes stretch)
      --from T        first second to write (default 0)
      --to T          write up to the frame shown at second T, not including it (default: to the end of the last scene)
      --at T          write only the frame shown at second T
      --scene N       only scene N, counted from 1: the whole scene, or with --at, --from and --to, T is the scene's own time
      --audio FILE    a finished video's soundtrack, cut to the rendered range, or the web page's, embedded; with --check, checked: it must
                      decode, and a soundtrack shorter than the sequence is a warning
      --part K/N      only the K-th of N equal chunks of the range (K from 1), with a record beside the output
                      (NAME.partinfo; a PNG part's beside its first frame); a part already complete is skipped
      --join          join the parts of one render, given as their outputs or records, into OUTPUT without
                      re-encoding, the soundtrack put on once over the whole; PNG parts are checked only
      --crf N         a finished video's quality, lower is better (default 18 for H.264, up to 51; 31 for VP9, up to 63)
      --allow-broken  render even when a scene in the range does not build
      --check         build every scene and report every problem in the list and the shaders, write nothing
      --web           with --check: also translate every shader for the web page, and report what cannot be
      --bpm N         with --check: the music's tempo; a scene that starts off the beat is a warning, with the
                      duration that puts it on the beat at the frame rate
      --beats-per-bar N  with --bpm: beats a bar, to name the bar (default 4)
  -q, --quiet         print nothing but problems
  -h, --help          print this help and exit
  -V, --version       print the version and exit

Exit status: 0 done; 1 it could not be done, or --check found problems; 2 the command line is wrong;
129, 130, 143 interrupted by SIGHUP, SIGINT, SIGTERM, with what was begun removed.
)";

namespace {

const std::vector<OptionDefinition> optionDefinitions = {
    {"output", 'o', true},      {"fps", 'r', true},       {"size", 's', true},
    {"from", 0, true},          {"to", 0, true},          {"at", 0, true},
    {"scene", 0, true},         {"directory", 'C', true}, {"audio", 0, true},
    {"crf", 0, true},           {"part", 0, true},        {"join", 0, false},
    {"allow-broken", 0, false}, {"check", 0, false},      {"web", 0, false},
    {"quiet", 'q', false},      {"bpm", 0, true},         {"beats-per-bar", 0, true},
    {"help", 'h', false},       {"version", 'V', false},
};

const char* const videoExtensions[] = {".mp4", ".mkv", ".mov", ".webm"};

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

struct Parser {
    ParseResult result;
    std::vector<std::string> positionals;
    std::vector<std::string> given; // the long names of the options given

    bool fail(const std::string& reason) {
        result.action = CommandLineAction::usageError;
        result.error = reason;
        return false;
    }

    // Takes one option; false stops the parsing (a refused value, --help, --version).
    bool apply(const OptionDefinition& option, const std::string& value) {
        RenderOptions& options = result.options;
        const std::string name = option.longName;
        given.push_back(name);
        std::string refused;
        if (name == "output") {
            refused = value.empty() ? "--output needs a path" : "";
            options.output = value;
        } else if (name == "fps") {
            refused = readFramesPerSecond(value, options.fps);
        } else if (name == "size") {
            refused = readFrameSize(value, options.width, options.height);
        } else if (name == "from" || name == "to" || name == "at") {
            refused = readSeconds("--" + name, value,
                                  name == "from" ? options.from
                                                 : (name == "to" ? options.to : options.at));
        } else if (name == "scene") {
            int scene = 0;
            refused = readCount("--scene", value, scene);
            options.scene = scene;
        } else if (name == "directory") {
            // Each -C is taken from where the one before it led, as make, tar and git do.
            refused = value.empty() ? "--directory needs a folder" : "";
            options.directory = options.directory.empty() || value[0] == '/'
                                    ? value
                                    : options.directory + "/" + value;
        } else if (name == "audio") {
            refused = value.empty() ? "--audio needs a file" : "";
            options.audio = value;
        } else if (name == "crf") {
            int crf = 0;
            refused = readCount("--crf", value, crf);
            options.crf = crf;
        } else if (name == "part") {
            refused = readPart(value, options.partIndex, options.partCount);
        } else if (name == "join") {
            options.join = true;
        } else if (name == "allow-broken") {
            options.allowBroken = true;
        } else if (name == "bpm") {
            refused = readTempo(value, options.bpm);
        } else if (name == "beats-per-bar") {
            refused = readCount("--beats-per-bar", value, options.beatsPerBar);
        } else if (name == "check") {
            options.check = true;
        } else if (name == "web") {
            options.web = true;
        } else if (name == "quiet") {
            options.quiet = true;
        } else if (name == "help") {
            result.action = CommandLineAction::help;
            return false;
        } else if (name == "version") {
            result.action = CommandLineAction::version;
            return false;
        }
        return refused.empty() || fail(refused);
    }

    // --help and --version act where they stand, as soon as they are read.
    bool parse(const std::vector<std::string>& args) {
        result.action = CommandLineAction::run;
        std::string error;
        const bool complete = parseCommandLine(
            args, optionDefinitions,
            [this](const OptionDefinition& option, const std::string& value) {
                return apply(option, value);
            },
            positionals, error);
        return complete || (error.empty() ? false : fail(error));
    }

    bool validate() {
        RenderOptions& options = result.options;
        if (options.join) {
            return validateJoin();
        }
        if (options.partCount > 0 &&
            (options.check || options.at || options.output == "-" || !options.audio.empty())) {
            return fail("--part writes a chunk of a range to a file, the soundtrack put on at "
                        "--join; it does not go with --check, --at, --audio or -o -");
        }
        if (positionals.size() > 1) {
            return fail("one scene list at most, not " + quoted(positionals[0]) + " and " +
                        quoted(positionals[1]));
        }
        if (!positionals.empty()) {
            if (positionals[0].empty()) {
                return fail("the scene list path is empty");
            }
            options.sceneList = positionals[0];
        }
        if (options.from && options.to && *options.from >= *options.to) {
            return fail("--from must be before --to, which ends before the frame it names");
        }
        if (options.at && (options.from || options.to)) {
            return fail("--at writes one frame; it does not go with --from or --to");
        }
        if (options.bpm > 0.0 && !options.check) {
            return fail("--bpm goes with --check");
        }
        if (options.web && !options.check) {
            return fail("--web goes with --check; -o NAME.html writes the page");
        }
        if (options.check) {
            if (!options.output.empty() || options.crf) {
                return fail("--check writes nothing; it does not go with --output or --crf");
            }
            return true;
        }
        if (options.output.empty()) {
            return fail("an output is required: -o frames/%05d.png, -o NAME.png with --at, -o "
                        "NAME.y4m, -o NAME.mp4 or -o -");
        }
        if (endsWith(options.output, ".html")) {
            return validateWebPage();
        }
        bool video = false;
        for (const char* extension : videoExtensions) {
            video = video || endsWith(options.output, extension);
        }
        if ((!options.audio.empty() || options.crf) && !video) {
            return fail(std::string(options.crf ? "--crf" : "--audio") +
                        " goes with a finished video: -o NAME.mp4, .mkv, .mov or .webm");
        }
        if (video) {
            const int highest = endsWith(options.output, ".webm") ? 63 : 51;
            if (options.crf && *options.crf > highest) {
                return fail("--crf goes up to " + std::to_string(highest) +
                            " for this video, not " + std::to_string(*options.crf));
            }
            options.outputKind = OutputKind::video;
        } else if (options.output == "-") {
            options.outputKind = OutputKind::y4mStdout;
        } else if (endsWith(options.output, ".y4m")) {
            options.outputKind = OutputKind::y4mFile;
        } else if (endsWith(options.output, ".png")) {
            if (parseFramePattern(options.output)) {
                options.outputKind = OutputKind::pngSequence;
            } else if (options.output.find('%') != std::string::npos) {
                return fail(
                    "a frame pattern needs exactly one integer conversion such as %05d, not " +
                    quoted(options.output));
            } else if (!options.at) {
                return fail("a single PNG needs --at; for every frame use a pattern such as "
                            "frames/%05d.png");
            } else {
                options.outputKind = OutputKind::pngStill;
            }
        } else {
            return fail(
                "the output must end in .png, .y4m, .mp4, .mkv, .mov, .webm or .html, or be - "
                "for video on standard output");
        }
        return true;
    }

    // The page plays the whole sequence at the window's size; its address picks a frame or scene.
    bool validateWebPage() {
        for (const std::string& name : given) {
            if (name == "from" || name == "to" || name == "at" || name == "scene" ||
                name == "size" || name == "crf" || name == "part" || name == "allow-broken") {
                return fail(
                    "the web page plays the whole sequence at the window's size (NAME.html?at=T "
                    "and ?scene=N pick a frame or a scene); --" +
                    name + " does not go with it");
            }
        }
        result.options.outputKind = OutputKind::webPage;
        return true;
    }

    // A join takes everything from its parts' records but the output and the soundtrack.
    bool validateJoin() {
        RenderOptions& options = result.options;
        for (const std::string& name : given) {
            if (name != "join" && name != "output" && name != "audio" && name != "quiet" &&
                name != "directory") {
                return fail("--join takes the frames and their settings from the parts; --" + name +
                            " does not go with it");
            }
        }
        if (options.output.empty() || options.output == "-") {
            return fail("--join needs -o NAME for the joined render");
        }
        if (positionals.empty()) {
            return fail("--join needs the parts, as their outputs or NAME.partinfo records");
        }
        options.parts = positionals;
        return true;
    }
};

} // namespace

ParseResult parseRenderOptions(const std::vector<std::string>& args) {
    Parser parser;
    if (parser.parse(args) && parser.result.action == CommandLineAction::run) {
        parser.validate();
    }
    return parser.result;
}

std::optional<FramePattern> parseFramePattern(const std::string& pattern) {
    FramePattern parsed;
    bool seen = false;
    std::string* text = &parsed.prefix;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            text->push_back(pattern[i]);
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            text->push_back('%');
            ++i;
            continue;
        }
        if (seen) {
            return std::nullopt;
        }
        size_t j = i + 1;
        if (j < pattern.size() && pattern[j] == '0') {
            parsed.zeroPad = true;
            ++j;
        }
        int width = 0;
        while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9') {
            width = width * 10 + (pattern[j] - '0');
            if (width > 32) {
                return std::nullopt;
            }
            ++j;
        }
        if (j >= pattern.size() || (pattern[j] != 'd' && pattern[j] != 'i' && pattern[j] != 'u')) {
            return std::nullopt;
        }
        parsed.width = width;
        seen = true;
        text = &parsed.suffix;
        i = j;
    }
    if (!seen) {
        return std::nullopt;
    }
    return parsed;
}

std::string formatFramePath(const FramePattern& pattern, long long frame) {
    std::string number = std::to_string(frame);
    if (static_cast<int>(number.size()) < pattern.width) {
        number.insert(0, pattern.width - number.size(), pattern.zeroPad ? '0' : ' ');
    }
    return pattern.prefix + number + pattern.suffix;
}
