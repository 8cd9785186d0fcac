// The renderer's command line, parsed without touching anything outside the arguments.
#include "render/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

const char* const renderUsage =
    R"(Usage: prismwafer-render [options] [SCENE_LIST]
Renders the scene list headless, frame by frame, to PNG stills or YUV4MPEG2 video.

  SCENE_LIST          default shaders/prog.csv; the paths in it are relative to the working directory, as for the player
  -o, --output PATH   required unless --check:
                      frames/%05d.png  one PNG per frame: a pattern with one integer conversion, filled with the frame's number k
                                       in the whole sequence (so a range rendered on its own keeps its numbers and can be merged)
                      NAME.png         with --at: that one frame
                      NAME.y4m         a YUV4MPEG2 video file
                      -                the same video stream on standard output
  -r, --fps N         frames per second of the clock (default 60)
  -s, --size WxH      frame size in pixels (default 1920x1080)
      --from T        first second of the sequence to write (default 0)
      --to T          last second to write (default: the end of the last scene)
      --at T          write only the frame shown at second T
      --check         construct every scene, print the diagnostics, write nothing
  -q, --quiet         no progress display
  -h, --help          print this help and exit
  -V, --version       print the version and exit

Exit status: 0 done; 1 it could not be done; 2 the command line is wrong.
)";

std::string printable(const std::string& text) {
    static const char hexDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += hexDigits[c >> 4];
            out += hexDigits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

namespace {

struct OptionDefinition {
    const char* longName;
    char shortName; // 0: long form only
    bool takesValue;
};

const OptionDefinition optionDefinitions[] = {
    {"output", 'o', true}, {"fps", 'r', true},      {"size", 's', true}, {"from", 0, true},
    {"to", 0, true},       {"at", 0, true},         {"check", 0, false}, {"quiet", 'q', false},
    {"help", 'h', false},  {"version", 'V', false},
};

std::string quoted(const std::string& text) {
    return "'" + printable(text) + "'";
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A whole argument as a finite double; nothing may follow the number.
std::optional<double> parseNumber(const std::string& text) {
    if (text.empty() || text.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// A positive decimal integer of at most five digits, the whole text.
std::optional<int> parseDimension(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::atoi(text.c_str());
}

struct Parser {
    ParseResult result;
    std::vector<std::string> positionals;

    bool fail(const std::string& reason) {
        result.action = ParseAction::usageError;
        result.error = reason;
        return false;
    }

    bool seconds(const std::string& name, const std::string& value, std::optional<double>& into) {
        const std::optional<double> number = parseNumber(value);
        if (!number || *number < 0) {
            return fail("--" + name + " needs a number of seconds, 0 or more, not " +
                        quoted(value));
        }
        into = *number;
        return true;
    }

    bool apply(const OptionDefinition& option, const std::string& value) {
        RenderOptions& options = result.options;
        const std::string name = option.longName;
        if (name == "output") {
            if (value.empty()) {
                return fail("--output needs a path");
            }
            options.output = value;
        } else if (name == "fps") {
            const std::optional<double> fps = parseNumber(value);
            if (!fps || !(*fps > 0)) {
                return fail("--fps needs a number of frames per second above 0, not " +
                            quoted(value));
            }
            options.fps = *fps;
        } else if (name == "size") {
            const size_t x = value.find('x');
            const std::optional<int> width = parseDimension(value.substr(0, x));
            const std::optional<int> height =
                x == std::string::npos ? std::nullopt : parseDimension(value.substr(x + 1));
            if (!width || !height || *width == 0 || *height == 0) {
                return fail("--size needs WIDTHxHEIGHT in pixels, both above 0, not " +
                            quoted(value));
            }
            options.width = *width;
            options.height = *height;
        } else if (name == "from") {
            return seconds(name, value, options.from);
        } else if (name == "to") {
            return seconds(name, value, options.to);
        } else if (name == "at") {
            return seconds(name, value, options.at);
        } else if (name == "check") {
            options.check = true;
        } else if (name == "quiet") {
            options.quiet = true;
        } else if (name == "help") {
            result.action = ParseAction::help;
        } else if (name == "version") {
            result.action = ParseAction::version;
        }
        return true;
    }

    // An option's value: attached to it (--fps=30, -r30) or else the next argument, which is
    // then consumed.
    bool applyValue(const OptionDefinition& option, const std::string& shownName,
                    const std::string* attached, const std::vector<std::string>& args, size_t& i) {
        if (attached) {
            return apply(option, *attached);
        }
        if (i + 1 < args.size()) {
            return apply(option, args[++i]);
        }
        return fail("option " + quoted(shownName) + " needs a value");
    }

    // A long option by its full name or an unambiguous abbreviation.
    const OptionDefinition* findLong(const std::string& name) {
        const OptionDefinition* found = nullptr;
        int matches = 0;
        for (const OptionDefinition& option : optionDefinitions) {
            const std::string full = option.longName;
            if (full == name) {
                return &option;
            }
            if (!name.empty() && full.compare(0, name.size(), name) == 0) {
                found = &option;
                ++matches;
            }
        }
        return matches == 1 ? found : nullptr;
    }

    bool parse(const std::vector<std::string>& args) {
        result.action = ParseAction::render;
        bool optionsEnded = false;
        // --help and --version act where they stand, as soon as they are read.
        for (size_t i = 0; i < args.size() && result.action == ParseAction::render; ++i) {
            const std::string& arg = args[i];
            if (optionsEnded || arg == "-" || arg.size() < 2 || arg[0] != '-') {
                positionals.push_back(arg);
            } else if (arg == "--") {
                optionsEnded = true;
            } else if (arg[1] == '-') {
                const size_t equals = arg.find('=');
                const std::string name =
                    arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
                const OptionDefinition* option = findLong(name);
                if (!option) {
                    return fail("unrecognised option " + quoted("--" + name));
                }
                if (!option->takesValue) {
                    if (equals != std::string::npos) {
                        return fail("option '--" + std::string(option->longName) +
                                    "' takes no value");
                    }
                    if (!apply(*option, "")) {
                        return false;
                    }
                } else {
                    const std::string attached =
                        equals == std::string::npos ? "" : arg.substr(equals + 1);
                    if (!applyValue(*option, "--" + std::string(option->longName),
                                    equals == std::string::npos ? nullptr : &attached, args, i)) {
                        return false;
                    }
                }
            } else {
                // Short options may be bundled (-qr 30); a value may follow its letter (-r30).
                for (size_t j = 1; j < arg.size(); ++j) {
                    const OptionDefinition* option = nullptr;
                    for (const OptionDefinition& candidate : optionDefinitions) {
                        if (candidate.shortName != 0 && candidate.shortName == arg[j]) {
                            option = &candidate;
                        }
                    }
                    if (!option) {
                        return fail("unrecognised option " + quoted(std::string("-") + arg[j]));
                    }
                    if (!option->takesValue) {
                        apply(*option, "");
                        if (result.action != ParseAction::render) {
                            break;
                        }
                        continue;
                    }
                    const std::string attached = arg.substr(j + 1);
                    if (!applyValue(*option, std::string("-") + arg[j],
                                    attached.empty() ? nullptr : &attached, args, i)) {
                        return false;
                    }
                    break;
                }
            }
        }
        return true;
    }

    bool validate() {
        RenderOptions& options = result.options;
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
        if (options.from && options.to && *options.from > *options.to) {
            return fail("--from must not be after --to");
        }
        if (options.at && (options.from || options.to)) {
            return fail("--at writes one frame; it does not go with --from or --to");
        }
        if (options.check) {
            if (!options.output.empty()) {
                return fail("--check writes nothing; it does not go with --output");
            }
            return true;
        }
        if (options.output.empty()) {
            return fail("an output is required: -o frames/%05d.png, -o NAME.png with --at, -o "
                        "NAME.y4m or -o -");
        }
        if (options.output == "-") {
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
                "the output must end in .png or .y4m, or be - for video on standard output");
        }
        return true;
    }
};

} // namespace

ParseResult parseRenderOptions(const std::vector<std::string>& args) {
    Parser parser;
    if (parser.parse(args) && parser.result.action == ParseAction::render) {
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
