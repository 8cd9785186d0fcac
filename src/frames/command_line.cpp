// GNU-style command lines for the programs that make frames: each program gives its own table.
#include "frames/command_line.h"

#include <getopt.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "scene/message_text.h"

// Option codes start above every character, so that getopt never confuses one with a letter.
static const int firstOptionCode = 256;

// The long options whose names start with `name`; an exact match alone if there is one.
static std::vector<const OptionDefinition*>
longCandidates(const std::vector<OptionDefinition>& options, const std::string& name) {
    std::vector<const OptionDefinition*> found;
    for (const OptionDefinition& option : options) {
        const std::string full = option.longName;
        if (full == name) {
            return {&option};
        }
        if (!name.empty() && full.compare(0, name.size(), name) == 0) {
            found.push_back(&option);
        }
    }
    return found;
}

// getopt_long reports a malformed option only as '?' or ':'; the words are ours. `argument` is
// the command-line element being read when it stopped.
static std::string describeMistake(const std::vector<OptionDefinition>& options,
                                   const std::string& argument, int result, int letter) {
    if (argument.compare(0, 2, "--") != 0) {
        const std::string shown = std::string("-") + static_cast<char>(letter);
        return result == ':' ? "option " + quoted(shown) + " needs a value"
                             : "unrecognised option " + quoted(shown);
    }
    const std::string name = argument.substr(2, argument.find('=') - 2);
    const std::vector<const OptionDefinition*> candidates = longCandidates(options, name);
    if (candidates.empty()) {
        return "unrecognised option " + quoted("--" + name);
    }
    if (candidates.size() > 1) {
        std::string list;
        for (const OptionDefinition* candidate : candidates) {
            list += (list.empty() ? "--" : ", --") + std::string(candidate->longName);
        }
        return "option " + quoted("--" + name) + " is ambiguous (" + list + ")";
    }
    const std::string shown = "--" + std::string(candidates[0]->longName);
    return result == ':' ? "option " + quoted(shown) + " needs a value"
                         : "option " + quoted(shown) + " takes no value";
}

bool parseCommandLine(const std::vector<std::string>& args,
                      const std::vector<OptionDefinition>& options, const OptionHandler& onOption,
                      std::vector<std::string>& operands, std::string& error) {
    // '-' hands operands back in place, whatever POSIXLY_CORRECT says; ':' makes a missing value
    // distinguishable from an unknown option.
    std::string shortOptions = "-:";
    std::vector<option> longOptions;
    for (size_t i = 0; i < options.size(); ++i) {
        const int code = firstOptionCode + static_cast<int>(i);
        longOptions.push_back({options[i].longName,
                               options[i].takesValue ? required_argument : no_argument, nullptr,
                               code});
        if (options[i].shortName != 0) {
            shortOptions += options[i].shortName;
            shortOptions += options[i].takesValue ? ":" : "";
        }
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});

    // getopt permutes its argument array and keeps its place in globals: it gets a copy, and
    // optind = 0 starts it afresh on every call.
    std::vector<std::string> copies;
    copies.reserve(args.size() + 1);
    copies.emplace_back("command");
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& copy : copies) {
        argv.push_back(copy.data());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(copies.size());
    optind = 0;
    opterr = 0;

    for (;;) {
        const int before = optind == 0 ? 1 : optind;
        const int result =
            getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), nullptr);
        if (result == -1) {
            break;
        }
        if (result == 1) {
            operands.emplace_back(optarg);
            continue;
        }
        if (result == '?' || result == ':') {
            // Within a bundle of short options the element is still the one it started with.
            const int element = optind > before ? optind - 1 : before;
            error = describeMistake(options, argv[element], result, optopt);
            return false;
        }
        const OptionDefinition* found = nullptr;
        if (result >= firstOptionCode) {
            found = &options[static_cast<size_t>(result - firstOptionCode)];
        } else {
            for (const OptionDefinition& option : options) {
                found = option.shortName == result ? &option : found;
            }
        }
        if (!onOption(*found, found->takesValue ? std::string(optarg) : std::string())) {
            return false;
        }
    }
    // Whatever follows "--".
    for (int i = optind; i < argc; ++i) {
        operands.emplace_back(argv[i]);
    }
    return true;
}

void printUsageError(const char* programName, const std::string& reason) {
    std::cerr << programName << ": " << reason << std::endl
              << "Try '" << programName << " --help' for more information." << std::endl;
}

// A whole argument as a finite double; nothing may follow the number.
static std::optional<double> parseNumber(const std::string& text) {
    if (text.empty()) {
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
static std::optional<int> parseDimension(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const int value = std::atoi(text.c_str());
    return value > 0 ? std::optional<int>(value) : std::nullopt;
}

std::string readFramesPerSecond(const std::string& value, double& fps) {
    // A fraction such as 30000/1001 names the rates of broadcast video exactly.
    const size_t slash = value.find('/');
    std::optional<double> number = parseNumber(value.substr(0, slash));
    if (number && slash != std::string::npos) {
        const std::optional<double> divisor = parseNumber(value.substr(slash + 1));
        number = divisor && *divisor > 0 ? std::optional<double>(*number / *divisor) : std::nullopt;
    }
    if (!number || !(*number > 0) || !std::isfinite(*number)) {
        return "--fps needs a number of frames per second above 0, such as 60 or 30000/1001, not " +
               quoted(value);
    }
    fps = *number;
    return "";
}

std::string readFrameSize(const std::string& value, int& width, int& height) {
    const size_t x = value.find('x');
    const std::optional<int> parsedWidth = parseDimension(value.substr(0, x));
    const std::optional<int> parsedHeight =
        x == std::string::npos ? std::nullopt : parseDimension(value.substr(x + 1));
    if (!parsedWidth || !parsedHeight) {
        return "--size needs WIDTHxHEIGHT in pixels, both above 0, not " + quoted(value);
    }
    width = *parsedWidth;
    height = *parsedHeight;
    return "";
}

std::string readSeconds(const std::string& optionName, const std::string& value,
                        std::optional<double>& seconds) {
    const std::optional<double> number = parseNumber(value);
    if (!number || *number < 0) {
        return optionName + " needs a number of seconds, 0 or more, not " + quoted(value);
    }
    seconds = *number;
    return "";
}

std::string readCount(const std::string& optionName, const std::string& value, int& count) {
    char* end = nullptr;
    errno = 0;
    const long number = value.empty() ? 0 : std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno == ERANGE || number < 1 || number > INT_MAX ||
        value.find_first_not_of("0123456789") != std::string::npos) {
        return optionName + " needs a whole number from 1 up, not " + quoted(value);
    }
    count = static_cast<int>(number);
    return "";
}

std::string readTempo(const std::string& value, double& bpm) {
    char* end = nullptr;
    const double number = value.empty() ? 0.0 : std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(number > 0.0 && number <= 1000.0)) {
        return "--bpm needs beats a minute, above 0 and up to 1000, not " + quoted(value);
    }
    bpm = number;
    return "";
}

int answerCommandLine(const char* programName, const char* usage, CommandLineAction action,
                      const std::string& error) {
    switch (action) {
    case CommandLineAction::run:
        break;
    case CommandLineAction::help:
        std::cout << usage;
        return 0;
    case CommandLineAction::version:
        std::cout << programName << " " << PRISMWAFER_VERSION << std::endl;
        return 0;
    case CommandLineAction::usageError:
        printUsageError(programName, error);
        return 2;
    }
    return -1;
}
