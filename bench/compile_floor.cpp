// The floor for the live preview's reload latency: compile, link and first draw, alone.
#include <glad/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "render/headless_context.h"
#include "render/offscreen.h"
#include "scene/scene.h"
#include "scene/scene_text.h"

int main(int argc, char** argv) {
    int width = 0, height = 0;
    if (argc != 4 || std::sscanf(argv[2], "%dx%d", &width, &height) != 2 ||
        std::atoi(argv[3]) <= 0) {
        std::fprintf(stderr, "usage: compile_floor SCENE_LIST WIDTHxHEIGHT BUILDS\n");
        return 2;
    }
    HeadlessContext headless;
    OffscreenTarget target;
    std::string error;
    if (!createHeadlessContext(headless, error) ||
        !createOffscreenTarget(target, width, height, error)) {
        std::fprintf(stderr, "compile_floor: %s\n", error.c_str());
        return 1;
    }
    const std::string list = readTextFile(argv[1]);
    const SceneLine line = readSceneLine(splitLines(list).at(0), argv[1], 1);
    const std::string vertexSource = readTextFile(std::string(line.vertexPath));
    const std::string fragmentSource = readTextFile(std::string(line.fragmentPath));
    Scene scene;
    scene.instanceCount = line.instanceCount;
    createSceneQuad(scene);
    glEnable(GL_DEPTH_TEST);
    glViewport(0, 0, width, height);

    // The draw belongs to the floor: a driver may finish compiling only when a program is used.
    int status = 0;
    for (int build = 0; build < std::atoi(argv[3]) && status == 0; ++build) {
        // Sources the driver has not seen before, so that no cache of its own can answer.
        const std::string changed = fragmentSource + "// floor " + std::to_string(build) + "\n";
        const auto start = std::chrono::steady_clock::now();
        scene.program = buildProgramSilently(vertexSource, changed);
        GLint linked = GL_FALSE;
        glGetProgramiv(scene.program, GL_LINK_STATUS, &linked);
        uploadSceneTransform(scene.program);
        drawScene(scene, 1.0);
        glFinish();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        glDeleteProgram(scene.program);
        std::printf("%.3f\n", took.count());
        status = linked ? 0 : 1;
    }
    glDeleteVertexArrays(1, &scene.vertexArray);
    glDeleteBuffers(1, &scene.vertexBuffer);
    destroyOffscreenTarget(target);
    destroyHeadlessContext(headless);
    return status;
}
