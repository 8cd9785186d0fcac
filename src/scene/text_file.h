// Reads the scene list and shader sources whole, as byte strings.
#pragma once

#include <string>

// Reads a whole file; prints "Unable to open file PATH" and returns "" when it cannot be read.
std::string readTextFile(const std::string& path);
// readTextFile without a word: false and no text, with the reason ("No such file or directory",
// "not a regular file", "Input/output error"), when the file cannot be opened or read.
bool readTextFileQuietly(const std::string& path, std::string& text, std::string& reason);
// Whether readTextFile would open the path, with the reason when not; reads nothing.
bool canReadTextFile(const std::string& path, std::string& reason);
// The message readTextFile prints for a file it cannot open.
void reportUnreadableFile(const std::string& path);
