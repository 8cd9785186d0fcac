// prismwafer-render: draws the scene list headless, frame-exact, to PNG stills or YUV4MPEG2 video.
#include <glad/gl.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "frames/frame_clock.h"
#include "render/encoder.h"
#include "render/frame_output.h"
#include "render/headless_context.h"
#include "render/offscreen.h"
#include "render/options.h"
#include "render/progress.h"
#include "scene/scene.h"

static const char* const programName = "prismwafer-render";

static int fail(const std::string& reason) {
    std::cerr << programName << ": " << reason << std::endl;
    return 1;
}

// --check: every scene was built above, with its messages; count the ones that did not link.
static int checkScenes(const RenderOptions& options, const SceneList& scenes) {
    if (!canReadTextFile(options.sceneList)) {
        return fail("cannot read the scene list " + printable(options.sceneList));
    }
    size_t broken = 0;
    for (const Scene* scene : scenes) {
        GLint linked = GL_FALSE;
        glGetProgramiv(scene->program, GL_LINK_STATUS, &linked);
        broken += linked ? 0 : 1;
    }
    std::cout << "Checked " << scenes.size() << (scenes.size() == 1 ? " scene: " : " scenes: ");
    if (broken == 0) {
        std::cout << "no errors." << std::endl;
        return 0;
    }
    std::cout << broken << (broken == 1 ? " does not build." : " do not build.") << std::endl;
    return 1;
}

static int renderScenes(const RenderOptions& options, const SceneList& scenes,
                        FrameOutput& output) {
    if (scenes.empty() && !canReadTextFile(options.sceneList)) {
        return fail("cannot read the scene list " + printable(options.sceneList));
    }
    std::vector<float> durations;
    for (const Scene* scene : scenes) {
        durations.push_back(scene->duration);
    }
    const std::vector<int64_t> endFrames = sceneEndFrames(durations, options.fps);
    const FrameRange range =
        frameRange(endFrames, durations, options.fps, options.from, options.to, options.at);
    if (!range.error.empty()) {
        return fail(range.error);
    }

    std::string error;
    OffscreenTarget target;
    if (!createOffscreenTarget(target, options.width, options.height, error)) {
        return fail(error);
    }
    // Two slots beyond one per encoder thread: one being drawn into, one landing.
    const int encoderThreads = encoderThreadsFor(output.kind);
    const int slotCount = encoderThreads + 2;
    ReadbackRing ring;
    createReadbackRing(ring, target, slotCount);
    FrameEncoder encoder;
    startEncoder(encoder, output, ring.pixels, encoderThreads);

    const bool showProgress = !options.quiet && isatty(STDERR_FILENO);
    const int64_t total = range.last - range.first + 1;
    const auto started = std::chrono::steady_clock::now();
    auto lastShown = started;
    auto secondsSince = [](std::chrono::steady_clock::time_point then) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - then).count();
    };

    // Frame k is drawn while the pixels of frame k - 1 land and earlier ones are encoded.
    int64_t pendingFrame = -1;
    int pendingSlot = 0;
    for (int64_t frame = range.first; frame <= range.last; ++frame) {
        const int slot = static_cast<int>((frame - range.first) % slotCount);
        if (!waitForSlot(encoder, slot)) {
            break;
        }
        const FrameSlot shown = frameSlot(endFrames, options.fps, frame);
        drawScene(*scenes[shown.scene], shown.elapsed);
        startReadback(ring, slot, target);
        if (pendingFrame >= 0) {
            finishReadback(ring, pendingSlot);
            submitFrame(encoder, pendingSlot, pendingFrame);
        }
        pendingFrame = frame;
        pendingSlot = slot;
        if (showProgress && secondsSince(lastShown) > 0.25) {
            lastShown = std::chrono::steady_clock::now();
            std::cerr << '\r' << progressLine(frame - range.first, total, secondsSince(started))
                      << "\x1b[K" << std::flush;
        }
    }
    if (pendingFrame >= 0 && waitForSlot(encoder, pendingSlot)) {
        finishReadback(ring, pendingSlot);
        submitFrame(encoder, pendingSlot, pendingFrame);
    }
    const bool encoded = stopEncoder(encoder, error);
    if (showProgress) {
        std::cerr << '\r' << progressLine(framesWritten(encoder), total, secondsSince(started))
                  << "\x1b[K" << std::endl;
    }

    destroyReadbackRing(ring);
    destroyOffscreenTarget(target);
    if (!encoded || !closeFrameOutput(output, error)) {
        abandonFrameOutput(output);
        return fail(error);
    }
    return 0;
}

int main(int argc, char** argv) {
    const ParseResult parsed = parseRenderOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.action == ParseAction::help) {
        std::cout << renderUsage;
        return 0;
    }
    if (parsed.action == ParseAction::version) {
        std::cout << programName << " " << PRISMWAFER_VERSION << std::endl;
        return 0;
    }
    if (parsed.action == ParseAction::usageError) {
        std::cerr << programName << ": " << parsed.error << std::endl
                  << "Try '" << programName << " --help' for more information." << std::endl;
        return 2;
    }
    const RenderOptions& options = parsed.options;

    // With video on standard output, the stream keeps the descriptor to itself and every message,
    // the scene code's included, goes to standard error.
    int videoFd = -1;
    if (options.outputKind == OutputKind::y4mStdout) {
        if (isatty(STDOUT_FILENO)) {
            return fail(
                "standard output is a terminal: pipe the video into a program, or use -o NAME.y4m");
        }
        videoFd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
        dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    // A reader that goes away is a write error to report, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    HeadlessContext headless;
    std::string error;
    if (!createHeadlessContext(headless, error)) {
        return fail(error);
    }
    std::cout << "INFO: Running over OpenGL " << GLAD_VERSION_MAJOR(headless.glVersion) << "."
              << GLAD_VERSION_MINOR(headless.glVersion) << std::endl;

    FrameOutput output;
    int status = 0;
    if (!options.check && !openFrameOutput(output, options, videoFd, error)) {
        status = fail(error);
    } else {
        SceneList scenes = loadSceneList(options.sceneList);
        status =
            options.check ? checkScenes(options, scenes) : renderScenes(options, scenes, output);
        if (status != 0) {
            abandonFrameOutput(output);
        }
        for (Scene* scene : scenes) {
            releaseScene(scene);
        }
    }
    destroyHeadlessContext(headless);
    if (videoFd >= 0) {
        close(videoFd);
    }
    return status;
}
