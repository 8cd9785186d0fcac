// Pieces of the one-line messages every program prints: names made safe, numbers, reasons
// (GL-free).
#include "scene/message_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string printable(std::string_view text) {
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

std::string quoted(std::string_view text) {
    return "'" + printable(text) + "'";
}

std::string describeErrno(const std::string& what, const std::string& path) {
    return what + " " + printable(path) + ": " + std::strerror(errno);
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

std::string millisecondsText(double milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", milliseconds);
    return text;
}

std::string openGlVersionLine(int loaderVersion) {
    // The loader packs the version as major * 10000 + minor.
    return "INFO: Running over OpenGL " + std::to_string(loaderVersion / 10000) + "." +
           std::to_string(loaderVersion % 10000);
}
