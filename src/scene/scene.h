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
// Whether readTextFile would open the path, without a message.
bool canReadTextFile(const std::string& path);
// readTextFile without a word: false, with the reason ("No such file or directory", "not a
// regular file"), when the file cannot be opened.
bool readTextFileQuietly(const std::string& path, std::string& text, std::string& reason);
// The message readTextFile prints for a file it cannot open.
void reportUnreadableFile(const std::string& path);

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
// The same from sources already read; printBuildLogs false builds without a word on the console.
void constructSceneFromSources(Scene& scene, const std::string& vertexSource,
                               const std::string& fragmentSource, bool printBuildLogs);

// The two halves of construction for programs that build the program in their own way: the
// quad's buffer and vertex array, and the fixed transform uploaded to a program that has linked.
void createSceneQuad(Scene& scene);
void uploadSceneTransform(uint32_t program);

// Reads the tab-separated list at path and constructs every scene it names, in file order.
SceneList loadSceneList(const std::string& path);

// One frame of a scene: feeds it the elapsed seconds, clears and draws its instances.
// Sets and returns the scene's finished flag.
bool drawScene(Scene& scene, double elapsed);
