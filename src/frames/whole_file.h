// Files written whole or not at all: under NAME.partial until every byte has reached the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The name a file is written under until it is whole; renamed to its own name only then.
std::string partialPathFor(const std::string& path);

// Writes everything, again from where it stopped after an interrupted or short write; false
// with errno.
bool writeFully(int fd, const void* data, size_t size);

// Writes the bytes to the partial name, syncs them and renames the file to its own. Interrupted
// and short writes are carried on. False with "cannot write PATH: REASON", leaving no partial
// file and whatever the path held before.
bool writeWholeFile(const std::string& path, const void* data, size_t size, std::string& error);
