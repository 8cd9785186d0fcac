// A thousand reloads through the live preview's own code: GL objects and memory must stay put.
#include <glad/gl.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "live/sequence.h"
#include "render/headless_context.h"
#include "render/offscreen.h"

static const int warmUp = 20;

// Names are counted from 1 up to a little past the highest program name handed out so far.
static int countObjects(GLuint highest) {
    int count = 0;
    for (GLuint name = 1; name <= highest + 64; ++name) {
        count += glIsProgram(name) + glIsShader(name) + glIsBuffer(name) + glIsVertexArray(name) +
                 glIsTexture(name) + glIsFramebuffer(name) + glIsRenderbuffer(name);
    }
    return count;
}

static long residentKiB() {
    long pages = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm) {
        resident = std::fscanf(statm, "%ld %ld", &pages, &resident) == 2 ? resident : 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int main(int argc, char** argv) {
    if (argc != 3 || std::atoi(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: reload_churn SCENE_LIST RELOADS\n");
        return 2;
    }
    HeadlessContext headless;
    OffscreenTarget target;
    std::string error;
    if (!createHeadlessContext(headless, error) ||
        !createOffscreenTarget(target, 640, 360, error)) {
        std::fprintf(stderr, "reload_churn: %s\n", error.c_str());
        return 1;
    }
    LiveSequence sequence;
    sequence.listPath = argv[1];
    std::vector<SceneBuild> builds;
    readSequence(sequence, false, builds);
    if (sequence.scenes.empty()) {
        std::fprintf(stderr, "reload_churn: %s makes no scenes\n", argv[1]);
        return 1;
    }
    LiveScene& live = *sequence.scenes.front();
    const std::string original = live.description.fragment.text;
    GLuint highest = 0;
    // Each save is drawn once, as the preview would, and every tenth one does not compile.
    auto save = [&](int number) {
        std::ofstream(live.description.fragment.path, std::ios::trunc)
            << (number % 10 == 9 ? std::string("not a shader\n")
                                 : original + "// save " + std::to_string(number) + "\n");
        builds.clear();
        reloadShaderFile(sequence, live.description.fragment.path, builds);
        drawScene(*live.scene, 1.0);
        glFinish();
        highest = std::max(highest, live.scene->program);
    };

    const int reloads = std::atoi(argv[2]);
    for (int number = 0; number < warmUp; ++number) {
        save(number);
    }
    const int objectsBefore = countObjects(highest);
    const long residentBefore = residentKiB();
    for (int number = warmUp; number < warmUp + reloads; ++number) {
        save(number);
    }
    std::printf("reloads=%d objects_before=%d objects_after=%d resident_before_kib=%ld "
                "resident_after_kib=%ld\n",
                reloads, objectsBefore, countObjects(highest), residentBefore, residentKiB());
    std::ofstream(live.description.fragment.path, std::ios::trunc) << original;

    releaseSequence(sequence);
    destroyOffscreenTarget(target);
    destroyHeadlessContext(headless);
    return 0;
}
