// GL-free handling of the scene list's text: lines, fields, number conversions and messages.
#include "scene/scene_text.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <locale>
#include <sstream>

#include "scene/message_text.h"

std::vector<std::string_view> splitAt(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

int32_t parseInstanceCount(std::string_view field) {
    // strtol needs a terminated string and clamps to long; the count is a 32-bit int.
    const std::string text(field);
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

float parseDuration(std::string_view field) {
    const std::string text(field);
    return static_cast<float>(std::strtod(text.c_str(), nullptr));
}

std::string formatDuration(float duration) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << duration;
    return out.str();
}

std::string loadedSceneLine(std::string_view vertexPath, std::string_view fragmentPath,
                            int32_t instanceCount, float duration) {
    std::string line = "Loaded scene (";
    line.append(vertexPath).append(", ").append(fragmentPath).append(", ");
    line.append(std::to_string(instanceCount)).append(", ").append(formatDuration(duration));
    line.append(")");
    return line;
}

bool startsWithByteOrderMark(std::string_view text) {
    return text.substr(0, 3) == "\xEF\xBB\xBF";
}

bool isBlankLine(std::string_view line) {
    return line.find_first_not_of(" \t\r\v\f") == std::string_view::npos;
}

std::string shortLineWarning(std::string_view listPath, size_t lineNumber, size_t fieldCount,
                             std::string_view line) {
    std::string warning(listPath);
    warning.append(":").append(std::to_string(lineNumber)).append(": skipped: found ");
    warning.append(std::to_string(fieldCount)).append(fieldCount == 1 ? " field" : " fields");
    warning.append(", a scene needs 4 separated by tabs (vertex shader, fragment shader, "
                   "instances, seconds)");
    // Commas come from spreadsheets and habit, spaces from editors that expand tabs; a space
    // after a comma is part of the comma mistake.
    const size_t firstWord = line.find_first_not_of(" \t\r");
    const size_t lastWord = line.find_last_not_of(" \t\r");
    if (line.find(',') != std::string_view::npos) {
        warning.append("; this line has commas where tabs belong");
    } else if (firstWord != std::string_view::npos &&
               line.substr(firstWord, lastWord - firstWord + 1).find(' ') !=
                   std::string_view::npos) {
        warning.append("; this line has spaces where tabs belong");
    }
    return warning;
}

// Blanks before a number are skipped by the conversion, and so hidden like anything after it.
static bool startsWithBlank(const std::string& text) {
    return !text.empty() && std::isspace(static_cast<unsigned char>(text[0]));
}

// What follows the number, up to the field's end: a NUL byte ends no field.
static std::string ignoredTail(const std::string& text, const char* rest) {
    if (rest == text.c_str() + text.size()) {
        return "";
    }
    const std::string_view tail(rest, static_cast<size_t>(text.c_str() + text.size() - rest));
    return " has " + quoted(tail) + " after the number, which is ignored";
}

std::string instanceCountProblem(std::string_view field) {
    const std::string text(field);
    const std::string readAs = " (read as " + std::to_string(parseInstanceCount(field)) + ")";
    if (text.empty()) {
        return "instance count is empty" + readAs;
    }
    const std::string subject = "instance count " + quoted(text);
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str()) {
        return subject + " is not a whole number" + readAs;
    }
    if (startsWithBlank(text)) {
        return subject + " has blanks before the number, which are ignored" + readAs;
    }
    if (!ignoredTail(text, end).empty()) {
        return subject + ignoredTail(text, end) + readAs;
    }
    if (errno == ERANGE || value < 0 || value > INT32_MAX) {
        return subject + " is out of range: from 0 to 2147483647" + readAs;
    }
    return "";
}

std::string durationProblem(std::string_view field) {
    const std::string text(field);
    const float read = parseDuration(field);
    const std::string readAs = " (read as " + formatDuration(read) + ")";
    if (text.empty()) {
        return "duration is empty" + readAs;
    }
    const std::string subject = "duration " + quoted(text);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    const bool outOfRange = errno == ERANGE;
    if (end == text.c_str()) {
        return subject + " is not a number" + readAs;
    }
    if (startsWithBlank(text)) {
        return subject + " has blanks before the number, which are ignored" + readAs;
    }
    if (!ignoredTail(text, end).empty()) {
        return subject + ignoredTail(text, end) + readAs;
    }
    // inf and nan written as such mean "until Escape"; an infinity reached by overflow does not.
    if (std::isnan(value)) {
        return "";
    }
    if (value < 0) {
        return subject + " is negative: a scene lasts 0 seconds or more" + readAs;
    }
    const bool writtenInfinity = std::isinf(value) && !outOfRange;
    if (value > FLT_MAX && !writtenInfinity) {
        return subject + " is out of range: more seconds than a float holds" + readAs;
    }
    if (value > 0 && read == 0) {
        return subject + " is out of range: too small to tell from 0" + readAs;
    }
    return "";
}

std::vector<std::string> sceneLineProblems(std::string_view line, std::string_view listPath,
                                           size_t lineNumber) {
    const SceneLine read = readSceneLine(line, listPath, lineNumber);
    if (!read.isScene) {
        return read.warning.empty() ? std::vector<std::string>{} : std::vector{read.warning};
    }
    std::vector<std::string_view> fields = splitFields(line);
    // A carriage return before the line end belongs to the line end, not to the last field.
    if (fields.size() == 4 && !fields[3].empty() && fields[3].back() == '\r') {
        fields[3].remove_suffix(1);
    }
    std::vector<std::string> problems;
    const std::string place = std::string(listPath) + ":" + std::to_string(lineNumber) + ": ";
    for (const std::string& problem :
         {instanceCountProblem(fields[2]), durationProblem(fields[3])}) {
        if (!problem.empty()) {
            problems.push_back(place + problem);
        }
    }
    return problems;
}

SceneLine readSceneLine(std::string_view line, std::string_view listPath, size_t lineNumber) {
    SceneLine read;
    const std::vector<std::string_view> fields = splitFields(line);
    if (fields.size() < 4) {
        // Blank lines separate nothing and pass silently; anything else is a mistake the author
        // should hear about, most often spaces typed where tabs belong.
        if (!isBlankLine(line)) {
            read.warning = shortLineWarning(listPath, lineNumber, fields.size(), line);
        }
        return read;
    }
    read.isScene = true;
    read.vertexPath = fields[0];
    read.fragmentPath = fields[1];
    read.instanceCount = parseInstanceCount(fields[2]);
    read.duration = parseDuration(fields[3]);
    return read;
}
