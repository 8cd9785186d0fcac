// What is wrong with a scene, a line each for editors and build logs to jump from: its files, and
// what the driver said of its build (GL-free).
#pragma once

#include <string>
#include <vector>

#include "scene/scene_source.h"

// What the driver said of one step of a build: a stage's compile, or the link.
struct BuildStep {
    bool succeeded = true;
    std::string log;
};
struct ProgramReport {
    BuildStep vertex, fragment, link;
};

// A shader file that holds something to compile.
bool hasSource(const ShaderFile& file);
// Both files hold something, both compiled and the program linked.
bool sceneBuilds(const SceneDescription& scene, const ProgramReport& report);

// Everything wrong with a built scene, in this order: its files, as "LIST:LINE: cannot read the
// vertex shader PATH: REASON" (or "... is empty"), said once there rather than again by the
// compiler; each compile log line placed in its file, "FILE:LINE:COLUMN: message"; and a link
// that failed after both stages compiled, "LIST:LINE: linking A with B: message".
std::vector<std::string> sceneProblems(const std::string& listPath, const SceneDescription& scene,
                                       const ProgramReport& report);
