// Pieces of the one-line messages every program prints: names made safe, numbers, reasons
// (GL-free).
#pragma once

#include <string>
#include <string_view>

// Text from the command line or the file system inside a one-line message: control bytes are
// written as \xHH escapes, so that no name can break the line or drive the terminal.
std::string printable(std::string_view text);
// The same in single quotes.
std::string quoted(std::string_view text);

// "WHAT PATH: REASON" with the reason the C library gives for the current errno.
std::string describeErrno(const std::string& what, const std::string& path);

// Seconds as the user wrote them, short: 12.5, 3, 1e+06.
std::string secondsText(double seconds);
// "12.3 ms"
std::string millisecondsText(double milliseconds);

// "INFO: Running over OpenGL 4.5", from the loader's packed version.
std::string openGlVersionLine(int loaderVersion);
