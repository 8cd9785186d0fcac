// Builds a scene's GPU program, with what the driver's compiler and linker said of each step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scene/scene_problems.h"

// Compiles and links the two sources and returns the program, whatever failed, with each step's
// verdict in `report`. With printLogs, each failure is printed as it happens, in the player's
// words, and only failures' logs are read; without, nothing is printed and every log is kept,
// warnings included.
uint32_t buildProgram(const std::string& vertexSource, const std::string& fragmentSource,
                      bool printLogs, ProgramReport& report);

// The names of the program's active uniforms, arrays by their first element ("weights[0]").
std::vector<std::string> activeUniformNames(uint32_t program);
