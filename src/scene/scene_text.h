// GL-free handling of the scene list's text: lines, fields, number conversions and messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Splits at every separator; a separator at the very end adds no empty piece after it, and
// empty text gives no pieces at all. Lines split at '\n', fields at '\t'.
std::vector<std::string_view> splitAt(std::string_view text, char separator);
inline std::vector<std::string_view> splitLines(std::string_view text) {
    return splitAt(text, '\n');
}
inline std::vector<std::string_view> splitFields(std::string_view line) {
    return splitAt(line, '\t');
}

// Instance count as the C library reads an integer (leading blanks, sign, decimal digits, no
// digits gives 0), clamped to the 32-bit signed range.
int32_t parseInstanceCount(std::string_view field);

// Duration as the C library reads a floating-point number (decimal, exponent, hexadecimal, inf,
// nan; trailing text ignored; no number gives 0), rounded to single precision.
float parseDuration(std::string_view field);

// The duration as the standard stream writes a float by default: 12.5, 10, 0.333333, 1e+06.
std::string formatDuration(float duration);

// "Loaded scene (a.vert, b.frag, 100, 12.5)"
std::string loadedSceneLine(std::string_view vertexPath, std::string_view fragmentPath,
                            int32_t instanceCount, float duration);

// Whether text starts with the three bytes of a UTF-8 byte-order mark.
bool startsWithByteOrderMark(std::string_view text);

// True for a line made only of blanks, tabs and carriage returns (or nothing at all).
bool isBlankLine(std::string_view line);

// The warning for a list line with too few fields to make a scene. Given the line, it says what
// stands where tabs belong (commas or spaces), so that the hint fits the mistake.
std::string shortLineWarning(std::string_view listPath, size_t lineNumber, size_t fieldCount,
                             std::string_view line = {});

// What the lenient conversions above pass over in silence. "" when the field is exactly a number
// in range, else a clause naming the field, such as "instance count '3,600' has ',600' after the
// number, which is ignored (read as 3)". Counts run from 0 to 2147483647; durations are 0 or
// more, within a float, or inf or nan written as such.
std::string instanceCountProblem(std::string_view field);
std::string durationProblem(std::string_view field);

// Everything wrong with one line of the list, each as "LIST:LINE: ...": the short-line warning of
// a non-blank line that makes no scene (the only one for such a line), or what the numbers of a
// scene line hide. A carriage return before the line end is the line end, not text.
std::vector<std::string> sceneLineProblems(std::string_view line, std::string_view listPath,
                                           size_t lineNumber);

// What one line of the scene list says: a scene, a warning about a line too short to be one,
// or nothing (a blank line). The paths point into the line.
struct SceneLine {
    bool isScene = false;
    std::string_view vertexPath;
    std::string_view fragmentPath;
    int32_t instanceCount = 0;
    float duration = 0.0f;
    std::string warning;
};
SceneLine readSceneLine(std::string_view line, std::string_view listPath, size_t lineNumber);

// A scene's time is up in the first frame whose elapsed time exceeds its duration, strictly.
inline bool sceneTimeIsUp(double elapsed, float duration) {
    return elapsed > static_cast<double>(duration);
}
