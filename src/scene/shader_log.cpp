// Placing what a driver's compiler and linker say in the shader files (GL-free).
#include "scene/shader_log.h"

#include <cctype>

#include "scene/scene_text.h"

// Reads a decimal number at `at`, moving past it; -1 when there is none.
static int readNumber(std::string_view text, size_t& at) {
    long value = -1;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
        value = (value < 0 ? 0 : value) * 10 + (text[at] - '0');
        value = value > 1000000000 ? 1000000000 : value;
        ++at;
    }
    return static_cast<int>(value);
}

static bool skip(std::string_view text, size_t& at, std::string_view expected) {
    if (text.substr(at, expected.size()) != expected) {
        return false;
    }
    at += expected.size();
    return true;
}

static std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "SOURCE:LINE(COLUMN): text", "SOURCE:LINE: text" or "SOURCE(LINE) : text", after an
// optional "ERROR: " or "WARNING: ".
static bool readPlacedLine(std::string_view line, LogMessage& message) {
    size_t at = 0;
    std::string_view severity;
    for (std::string_view prefix : {"ERROR: ", "WARNING: "}) {
        if (skip(line, at, prefix)) {
            severity = prefix.substr(0, prefix.size() - 2);
        }
    }
    if (readNumber(line, at) < 0) {
        return false;
    }
    int number = -1;
    int column = 0;
    if (skip(line, at, ":")) {
        number = readNumber(line, at);
        if (skip(line, at, "(")) {
            column = readNumber(line, at);
            if (column < 0 || !skip(line, at, ")")) {
                return false;
            }
        }
    } else if (skip(line, at, "(")) {
        number = readNumber(line, at);
        if (!skip(line, at, ")")) {
            return false;
        }
        skip(line, at, " ");
    }
    if (number < 0 || !skip(line, at, ":")) {
        return false;
    }
    message.line = number;
    message.column = column;
    std::string text(trimmed(line.substr(at)));
    if (!severity.empty()) {
        std::string lower;
        for (char c : severity) {
            lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        text = lower + ": " + text;
    }
    message.text = text;
    return true;
}

std::vector<LogMessage> parseShaderLog(std::string_view log) {
    std::vector<LogMessage> messages;
    for (std::string_view line : splitLines(log)) {
        line = trimmed(line);
        if (line.empty() || line.find_first_not_of('\0') == std::string_view::npos) {
            continue;
        }
        LogMessage message;
        if (!readPlacedLine(line, message)) {
            message = LogMessage{0, 0, std::string(line)};
        }
        messages.push_back(message);
    }
    return messages;
}

std::string placedMessage(std::string_view file, const LogMessage& message) {
    std::string placed(file);
    if (message.line > 0) {
        placed += ":" + std::to_string(message.line);
        if (message.column > 0) {
            placed += ":" + std::to_string(message.column);
        }
    }
    return placed + ": " + message.text;
}
