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
// compiler; each compile log line placed in its file, "FILE:LINE:COLUMN: message", after a hint
// of what the driver's words may hide (a byte-order mark, no #version line); and a link that
// failed after both stages compiled, "LIST:LINE: linking A with B: message". A path that is not
// found from the working folder but is beside the list gets a hint; folderOption names the
// program's option that sets the working folder, if it has one ("-C").
std::vector<std::string> sceneProblems(const std::string& listPath, const SceneDescription& scene,
                                       const ProgramReport& report,
                                       const char* folderOption = nullptr);

// What may leave a scene that builds black: every active uniform of its program but mvp and
// time, which no program sets, as "FILE:LINE: uniform 'iTime' is never set (only mvp and time
// are); it stays 0", placed where the sources declare it. A uniform declared with an initial
// value keeps that value and is not said.
std::vector<std::string> sceneWarnings(const SceneDescription& scene,
                                       const std::vector<std::string>& activeUniforms);
