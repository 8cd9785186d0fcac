// The floor for the renderer: the same context, framebuffer, scenes and clock, every frame
// drawn and finished, nothing read back or written.
//
//   render_floor [--size WxH] [--fps N] --from T --to T [SCENE_LIST]
//
// Prints "frames=N seconds=S fps=F".
#include <glad/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "frames/frame_clock.h"
#include "render/headless_context.h"
#include "render/offscreen.h"
#include "scene/scene_list.h"

int main(int argc, char** argv) {
    int width = 1920, height = 1080;
    double fps = 60, from = 0, to = 1;
    std::string list = "shaders/prog.csv";
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--size") && hasValue) {
            std::sscanf(argv[++i], "%dx%d", &width, &height);
        } else if (!std::strcmp(argv[i], "--fps") && hasValue) {
            fps = std::atof(argv[++i]);
        } else if (!std::strcmp(argv[i], "--from") && hasValue) {
            from = std::atof(argv[++i]);
        } else if (!std::strcmp(argv[i], "--to") && hasValue) {
            to = std::atof(argv[++i]);
        } else {
            list = argv[i];
        }
    }
    HeadlessContext headless;
    OffscreenTarget target;
    std::string error;
    if (!createHeadlessContext(headless, error) ||
        !createOffscreenTarget(target, width, height, error)) {
        std::cerr << "render_floor: " << error << std::endl;
        return 1;
    }
    std::cout.setstate(std::ios::failbit);
    SceneList scenes = loadSceneList(list);
    std::cout.clear();
    std::vector<float> durations;
    for (const Scene* scene : scenes) {
        durations.push_back(scene->duration);
    }
    const std::vector<int64_t> ends = sceneEndFrames(durations, fps);
    const FrameRange range = frameRange(ends, durations, fps, from, to, {});
    if (!range.error.empty()) {
        std::cerr << "render_floor: " << range.error << std::endl;
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    for (int64_t frame = range.first; frame <= range.last; ++frame) {
        const FrameSlot shown = frameSlot(ends, fps, frame);
        drawScene(*scenes[shown.scene], shown.elapsed);
        glFinish();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int64_t frames = range.last - range.first + 1;
    std::printf("frames=%lld seconds=%.3f fps=%.3f\n", static_cast<long long>(frames), seconds,
                frames / seconds);

    for (Scene* scene : scenes) {
        releaseScene(scene);
    }
    destroyOffscreenTarget(target);
    destroyHeadlessContext(headless);
    return 0;
}
