// The floor for the live preview's reload latency: compile, link and first draw, alone.
#include <glad/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "render/headless_context.h"
#include "render/offscreen.h"
#include "scene/construct.h"
#include "scene/program.h"
#include "scene/scene_source.h"

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
    const SceneListDescription list = describeSceneList(argv[1]);
    const std::string& vertexSource = list.scenes.at(0).vertex.text;
    const std::string& fragmentSource = list.scenes.at(0).fragment.text;
    Scene scene;
    scene.instanceCount = list.scenes[0].instanceCount;
    createSceneQuad(scene);
    glEnable(GL_DEPTH_TEST);
    glViewport(0, 0, width, height);

    // The draw belongs to the floor: a driver may finish compiling only when a program is used.
    int status = 0;
    for (int build = 0; build < std::atoi(argv[3]) && status == 0; ++build) {
        // Sources the driver has not seen before, so that no cache of its own can answer.
        const std::string changed = fragmentSource + "// floor " + std::to_string(build) + "\n";
        const auto start = std::chrono::steady_clock::now();
        ProgramReport report;
        installSceneProgram(scene, buildProgram(vertexSource, changed, false, report));
        drawScene(scene, 1.0);
        glFinish();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        std::printf("%.3f\n", took.count());
        status = report.link.succeeded ? 0 : 1;
    }
    glDeleteProgram(scene.program);
    glDeleteVertexArrays(1, &scene.vertexArray);
    glDeleteBuffers(1, &scene.vertexBuffer);
    destroyOffscreenTarget(target);
    destroyHeadlessContext(headless);
    return status;
}
