// GNU-style command lines for the programs that make frames: each program gives its own table.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct OptionDefinition {
    const char* longName;
    char shortName; // 0: long form only
    bool takesValue;
};

// Called for each option in the order given, with its value ("" for one that takes none).
// Returning false stops the parsing at once: after --help, or a value the program refuses.
using OptionHandler = std::function<bool(const OptionDefinition& option, const std::string& value)>;

// Reads args (the program name excluded) with the C library's getopt_long: long and short
// forms, --name=value, bundled short options, attached values (-r30), unambiguous
// abbreviations, operands anywhere and -- to end the options. Operands are appended in order.
// False when the handler stopped, or with a one-line reason in `error` when an option is
// unknown, ambiguous, lacks its value or has one it does not take.
bool parseCommandLine(const std::vector<std::string>& args,
                      const std::vector<OptionDefinition>& options, const OptionHandler& onOption,
                      std::vector<std::string>& operands, std::string& error);

// "PROGRAM: REASON" and the pointer to --help, on standard error.
void printUsageError(const char* programName, const std::string& reason);

// What a command line asks for: a run, or an answer without one.
enum class CommandLineAction { run, help, version, usageError };
// Gives the answer of a command line that does not run: the usage or the version on standard
// output, or the mistake; returns the exit status (0, or 2 for a mistake), -1 for a run.
int answerCommandLine(const char* programName, const char* usage, CommandLineAction action,
                      const std::string& error);

// Values that more than one program reads. Each returns "" when the value is good, or the
// one-line reason why not.
std::string readFramesPerSecond(const std::string& value, double& fps);
std::string readFrameSize(const std::string& value, int& width, int& height);
// A number of seconds, 0 or more; optionName is how the message names the option ("--at").
std::string readSeconds(const std::string& optionName, const std::string& value,
                        std::optional<double>& seconds);
// A count from 1 up, such as a scene number.
std::string readCount(const std::string& optionName, const std::string& value, int& count);
// Beats a minute: a number above 0, up to 1000.
std::string readTempo(const std::string& value, double& bpm);
