// The scene list and the shader files it names, read into scene descriptions with the problems
// found on the way: the one reading of a list that every program shares (GL-free).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One shader file of a scene as it was read.
struct ShaderFile {
    const char* stage; // "vertex" or "fragment"
    std::string path;  // as the list names it
    std::string text;
    bool readable = false;
    std::string reason; // why it could not be read
};

// What one line of the list says a scene is, with its sources.
struct SceneDescription {
    size_t listLine = 0;
    ShaderFile vertex{"vertex", "", "", false, ""};
    ShaderFile fragment{"fragment", "", "", false, ""};
    int32_t instanceCount = 0;
    float duration = 0.0f;
};

// A problem of the list's own text: a line that makes no scene, or numbers that do not say what
// they seem to. Each reads "LIST:LINE: ...".
struct ListProblem {
    size_t listLine = 0;
    std::string text;
    bool shortLine = false; // the warning the player prints too
    bool warning = false;   // the scene is made as the line says, but it may not be what was meant
};

struct SceneListDescription {
    std::string path;
    bool readable = false;
    std::string reason; // why the list could not be read
    std::string text;
    std::vector<SceneDescription> scenes; // in list order
    std::vector<ListProblem> problems;    // in list order
};

// Above this many instances a frame takes seconds on a software rasteriser: the demo's scenes
// draw a few thousand.
constexpr int32_t largestSensibleInstanceCount = 1000000;

// Reads the list at path and every shader file it names, in list order, without a word.
SceneListDescription describeSceneList(const std::string& path);
// Reads the list's text, already in list.text, into scenes and problems; reads no shader.
void describeListText(SceneListDescription& list);
// Reads (again) both shader files of a scene, the vertex shader first.
void readShaderFiles(SceneDescription& scene);

// What is wrong with the list as a whole, or "": "cannot read the scene list PATH: REASON" (with
// the working folder a relative path was looked for in), or "PATH: the list makes no scene".
std::string listProblem(const SceneListDescription& list);
