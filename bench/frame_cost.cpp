// Measures what one frame of each scene costs to draw, headless, with nothing else going on.
#include <glad/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "render/headless_context.h"
#include "render/offscreen.h"
#include "scene/scene_list.h"

static const char* const usage = "usage: frame_cost [--size WxH] [--frames N] [SCENE_LIST]\n";

// Draws one frame and waits for the driver to finish it.
static double timedFrame(Scene& scene, double elapsed) {
    const auto start = std::chrono::steady_clock::now();
    drawScene(scene, elapsed);
    glFinish();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

int main(int argc, char** argv) {
    int width = 1920, height = 1080, frames = 24;
    std::string list = "shaders/prog.csv";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--size") && i + 1 < argc &&
            std::sscanf(argv[i + 1], "%dx%d", &width, &height) == 2) {
            ++i;
        } else if (!std::strcmp(argv[i], "--frames") && i + 1 < argc &&
                   (frames = std::atoi(argv[i + 1])) > 0) {
            ++i;
        } else if (argv[i][0] != '-') {
            list = argv[i];
        } else {
            std::cerr << usage;
            return 2;
        }
    }

    HeadlessContext headless;
    std::string error;
    OffscreenTarget target;
    if (!createHeadlessContext(headless, error) ||
        !createOffscreenTarget(target, width, height, error)) {
        std::cerr << "frame_cost: " << error << std::endl;
        return 1;
    }
    std::cout.setstate(std::ios::failbit); // the loader's lines are not part of the table
    SceneList scenes = loadSceneList(list);
    std::cout.clear();

    // Frames spread evenly over each scene's duration (the first 10 s of one without end).
    std::printf("%-4s %10s %10s %10s   at %dx%d, %d frames a scene\n", "#", "median ms", "max ms",
                "fps", width, height, frames);
    double worst = 0;
    for (size_t index = 0; index < scenes.size(); ++index) {
        Scene& scene = *scenes[index];
        const double span = scene.duration > 0 && scene.duration < 1e6 ? scene.duration : 10.0;
        timedFrame(scene, 0.0); // the first draw compiles the driver's variant of the program
        std::vector<double> costs;
        for (int k = 0; k < frames; ++k) {
            costs.push_back(timedFrame(scene, span * (k + 0.5) / frames));
        }
        std::sort(costs.begin(), costs.end());
        const double median = costs[costs.size() / 2];
        worst = std::max(worst, costs.back());
        std::printf("%-4zu %10.2f %10.2f %10.1f\n", index + 1, median, costs.back(),
                    1000.0 / median);
    }
    std::printf("slowest frame: %.2f ms\n", worst);

    for (Scene* scene : scenes) {
        releaseScene(scene);
    }
    destroyOffscreenTarget(target);
    destroyHeadlessContext(headless);
    return 0;
}
