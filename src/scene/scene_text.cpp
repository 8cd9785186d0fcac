// GL-free handling of the scene list's text: lines, fields, number conversions and messages.
#include "scene/scene_text.h"

#include <climits>
#include <cstdlib>
#include <locale>
#include <sstream>

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

bool isBlankLine(std::string_view line) {
    return line.find_first_not_of(" \t\r\v\f") == std::string_view::npos;
}

std::string shortLineWarning(std::string_view listPath, size_t lineNumber, size_t fieldCount) {
    std::string warning(listPath);
    warning.append(":").append(std::to_string(lineNumber)).append(": skipped: found ");
    warning.append(std::to_string(fieldCount)).append(fieldCount == 1 ? " field" : " fields");
    warning.append(", a scene needs 4 separated by tabs (vertex shader, fragment shader, "
                   "instances, seconds); spaces do not separate fields");
    return warning;
}

SceneLine readSceneLine(std::string_view line, std::string_view listPath, size_t lineNumber) {
    SceneLine read;
    const std::vector<std::string_view> fields = splitFields(line);
    if (fields.size() < 4) {
        // Blank lines separate nothing and pass silently; anything else is a mistake the author
        // should hear about, most often spaces typed where tabs belong.
        if (!isBlankLine(line)) {
            read.warning = shortLineWarning(listPath, lineNumber, fields.size());
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
