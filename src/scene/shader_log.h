// Placing what a driver's compiler and linker say in the shader files (GL-free).
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One message of a compile or link log, where the log says it belongs (0: not said).
struct LogMessage {
    int line = 0;
    int column = 0;
    std::string text;
};

// Reads the forms drivers write: "0:16(15): error: ..." (line and column), "0:16: ...",
// "ERROR: 0:16: ..." and "0(16) : error ...". Every other non-blank line is a message of its
// own with no place, so nothing the driver said is lost.
std::vector<LogMessage> parseShaderLog(std::string_view log);

// "FILE:LINE:COLUMN: text", leaving out what is not known ("FILE:LINE: text", "FILE: text"), the
// form that editors and build logs jump from.
std::string placedMessage(std::string_view file, const LogMessage& message);
