// The scene record and everything that turns the scene list into drawable scenes (OpenGL only).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One scene of the sequence: the OpenGL objects that draw it and the two numbers the list gives.
struct Scene {
    uint32_t vertexBuffer = 0;
    uint32_t vertexArray = 0;
    uint32_t program = 0;
    bool finished = false;
    float duration = 0.0f;
    int32_t instanceCount = 0;
};

// Scenes in file order, each allocated on its own and owned by the list until released.
using SceneList = std::vector<Scene*>;

// Deletes the scene's program, vertex array and buffer, in that order, then frees the record.
void releaseScene(Scene* scene);

// Reads a whole file; prints "Unable to open file PATH" and returns "" when it cannot be read.
std::string readTextFile(const std::string& path);
// The same without a word: false, with text left empty, when the file cannot be read.
bool readTextFileQuietly(const std::string& path, std::string& text);
// Whether readTextFile would open the path, without a message.
bool canReadTextFile(const std::string& path);

// Compiles and links the two sources; failures are printed and the program is returned anyway.
uint32_t buildProgram(const std::string& vertexSource, const std::string& fragmentSource);
bool checkCompile(uint32_t shader, const char* label);
bool checkLink(uint32_t program);
// The same build without a word on the console, for programs that report in their own words.
uint32_t buildProgramSilently(const std::string& vertexSource, const std::string& fragmentSource);

// What the driver said about a built program: each stage's compile and the link.
struct BuildStep {
    bool succeeded = true;
    std::string log;
};
struct ProgramReport {
    BuildStep vertex, fragment, link;
};
// Read back from the program and the shaders attached to it; prints nothing.
ProgramReport readProgramReport(uint32_t program);

// Gives the scene its quad, vertex layout, program and fixed transform.
void constructScene(Scene& scene, const std::string& vertexShaderPath,
                    const std::string& fragmentShaderPath);

// The two halves of construction for programs that build the program in their own way: the
// quad's buffer and vertex array, and the fixed transform uploaded to a program that has linked.
void createSceneQuad(Scene& scene);
void uploadSceneTransform(uint32_t program);

// Reads the tab-separated list at path and constructs every scene it names, in file order.
SceneList loadSceneList(const std::string& path);

// One frame of a scene: feeds it the elapsed seconds, clears and draws its instances.
// Sets and returns the scene's finished flag.
bool drawScene(Scene& scene, double elapsed);
