// prismwafer-render: draws the scene list headless, frame-exact, to stills or video; checks it.
#include <glad/gl.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "frames/frame_clock.h"
#include "render/copier.h"
#include "render/encoder.h"
#include "render/frame_output.h"
#include "render/headless_context.h"
#include "render/interrupt.h"
#include "render/join.h"
#include "render/offscreen.h"
#include "render/options.h"
#include "render/part_files.h"
#include "render/progress.h"
#include "render/scene_check.h"
#include "render/web_export.h"
#include "render/wrote_line.h"
#include "scene/message_text.h"
#include "scene/scene.h"

static const char* const programName = "prismwafer-render";

// A relative list is read from the working folder, which -C sets.
static std::string unreadableList(const RenderOptions& options, const CheckedSceneList& list) {
    const bool relative = options.sceneList.empty() || options.sceneList[0] != '/';
    return list.listProblem + (relative ? "; -C DIR works in another folder" : "");
}

static int fail(const std::string& reason) {
    std::cerr << programName << ": " << reason << std::endl;
    return 1;
}

static std::string counted(size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// --check: every problem on a line of its own, then each scene that does not build, then the
// total; status 1 when anything at all is wrong, warnings included.
static int checkScenes(const RenderOptions& options, const CheckedSceneList& list) {
    if (!list.readable) {
        return fail(unreadableList(options, list));
    }
    std::vector<Problem> problems = list.problems;
    if (!list.listProblem.empty()) {
        problems.push_back({list.listProblem, {}, false});
    }
    const MusicGrid grid{options.bpm, options.beatsPerBar, 4};
    for (Problem& problem :
         musicProblems(list, options.sceneList, options.fps, options.audio, grid)) {
        problems.push_back(std::move(problem));
    }
    size_t untranslated = 0;
    if (options.web) {
        // Scenes that do not build here have their problems already.
        const SceneListDescription described = describeSceneList(options.sceneList);
        std::string missing;
        for (size_t i = 0; i < described.scenes.size() && i < list.origins.size(); ++i) {
            const size_t before = problems.size();
            for (std::string& text : list.origins[i].builds
                                         ? webProblems(described.scenes[i], missing)
                                         : std::vector<std::string>{}) {
                problems.push_back({std::move(text), i, false});
            }
            untranslated += problems.size() > before ? 1 : 0;
        }
        if (!missing.empty()) {
            return fail(missing);
        }
    }
    size_t listProblems = 0;
    size_t warnings = 0;
    for (const Problem& problem : problems) {
        std::cerr << problem.text << std::endl;
        warnings += problem.warning ? 1 : 0;
        listProblems += problem.scene || problem.warning ? 0 : 1;
    }
    size_t broken = 0;
    for (size_t i = 0; i < list.origins.size(); ++i) {
        const SceneOrigin& origin = list.origins[i];
        if (!origin.builds) {
            ++broken;
            std::cout << printable(options.sceneList) << ":" << origin.listLine << ": scene "
                      << i + 1 << " does not build (" << printable(origin.vertexPath) << ", "
                      << printable(origin.fragmentPath) << ")" << std::endl;
        }
    }
    if (problems.empty()) {
        if (!options.quiet) {
            std::cout << "Checked " << counted(list.scenes.size(), "scene", "scenes")
                      << ": no errors." << std::endl;
        }
        return 0;
    }
    std::string total;
    if (broken > 0) {
        total +=
            ", " + std::to_string(broken) + (broken == 1 ? " does not build" : " do not build");
    }
    if (listProblems > 0) {
        total += ", " + counted(listProblems, "problem", "problems") + " in the list";
    }
    if (untranslated > 0) {
        total += ", " + std::to_string(untranslated) + " cannot be translated for the web page";
    }
    if (warnings > 0) {
        total += ", " + counted(warnings, "warning", "warnings");
    }
    std::cout << "Checked " << counted(list.scenes.size(), "scene", "scenes") << ": "
              << total.substr(2) << "." << std::endl;
    return 1;
}

// Refuses, before anything is written, when a scene in the range does not build, unless asked to
// render it anyway: a broken shader draws whatever the driver made of it.
static bool refuseBrokenScenes(const RenderOptions& options, const CheckedSceneList& list,
                               size_t firstScene, size_t lastScene) {
    bool refused = false;
    for (size_t i = firstScene; i <= lastScene && !options.allowBroken; ++i) {
        const SceneOrigin& origin = list.origins[i];
        if (!origin.builds) {
            refused = true;
            std::cerr << programName << ": scene " << i + 1 << " does not build ("
                      << printable(origin.vertexPath) << ", " << printable(origin.fragmentPath)
                      << ")" << std::endl;
        }
    }
    if (refused) {
        fail("nothing written; --allow-broken renders broken scenes anyway");
    }
    return refused;
}

// Once the signal's render is abandoned: one line on what it left, and the status that names it.
static int stopInterrupted(FrameOutput& output, int signal, int64_t first, int64_t written) {
    abandonFrameOutput(output);
    std::cerr << programName << ": interrupted by " << interruptName(signal) << "; "
              << leftBehind(output, first, written) << std::endl;
    return 128 + signal;
}

static int renderScenes(const RenderOptions& options, const CheckedSceneList& list,
                        FrameCopier& copier, FrameOutput& output) {
    if (const int signal = interruptSignal()) {
        return stopInterrupted(output, signal, 0, 0);
    }
    if (!list.readable) {
        return fail(unreadableList(options, list));
    }
    // Problems do not stop a render unless a scene in it does not build, but they are heard, with
    // -q too: those of the list's text first, those of the scenes drawn once the range is known.
    for (const Problem& problem : list.problems) {
        if (!problem.scene) {
            std::cerr << problem.text << std::endl;
        }
    }
    const SceneList& scenes = list.scenes;
    std::vector<float> durations;
    for (const Scene* scene : scenes) {
        durations.push_back(scene->duration);
    }
    const std::vector<int64_t> endFrames = sceneEndFrames(durations, options.fps);
    const std::optional<size_t> scene =
        options.scene ? std::optional<size_t>(static_cast<size_t>(*options.scene) - 1)
                      : std::nullopt;
    const FrameRange whole =
        frameRange(endFrames, durations, options.fps, options.from, options.to, options.at, scene);
    if (!whole.error.empty()) {
        return fail(whole.error);
    }
    FrameRange range = whole;
    bool complete = false;
    std::string error;
    if (options.partCount > 0 && !beginPart(options, list, whole, range, output, complete, error)) {
        return fail(error);
    }
    if (complete) {
        return 0;
    }
    const size_t firstScene = frameSlot(endFrames, options.fps, range.first).scene;
    const size_t lastScene = frameSlot(endFrames, options.fps, range.last).scene;
    for (const Problem& problem : list.problems) {
        if (problem.scene && *problem.scene >= firstScene && *problem.scene <= lastScene) {
            std::cerr << problem.text << std::endl;
        }
    }
    if (refuseBrokenScenes(options, list, firstScene, lastScene)) {
        return 1;
    }
    const int64_t total = range.last - range.first + 1;
    if (!beginFrameOutput(output, range.first, total, error)) {
        return fail(error);
    }

    OffscreenTarget target;
    if (!createOffscreenTarget(target, options.width, options.height, error)) {
        return fail(error);
    }
    // A converted frame for each encoder thread, one being copied into, and one to spare.
    const int encoderThreads = encoderThreadsFor(output.kind);
    const int slotCount = encoderThreads + 2;
    std::vector<std::vector<uint8_t>> frames(static_cast<size_t>(slotCount),
                                             std::vector<uint8_t>(convertedFrameBytes(output)));
    FrameEncoder encoder;
    startEncoder(encoder, output, frames, encoderThreads);
    startFrameCopier(copier, target, output);

    const bool showProgress = !options.quiet && isatty(STDERR_FILENO);
    const auto started = std::chrono::steady_clock::now();
    auto lastShown = started;
    auto secondsSince = [](std::chrono::steady_clock::time_point then) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - then).count();
    };
    // A finished video's frames count once ffmpeg has encoded them, not when they are handed over.
    auto framesDone = [&](int64_t handedOver) {
        const int64_t encoded = framesEncoded(output);
        return encoded >= 0 ? encoded : handedOver;
    };

    // Frame k is drawn and copied out while earlier ones are encoded.
    for (int64_t frame = range.first; frame <= range.last; ++frame) {
        const int slot = static_cast<int>((frame - range.first) % slotCount);
        if (!waitForSlot(encoder, slot)) {
            break;
        }
        const FrameSlot shown = frameSlot(endFrames, options.fps, frame);
        drawScene(*scenes[shown.scene], shown.elapsed);
        if (!copyFrame(copier, frames[static_cast<size_t>(slot)].data())) {
            break;
        }
        submitFrame(encoder, slot, frame);
        if (showProgress && secondsSince(lastShown) > 0.25) {
            lastShown = std::chrono::steady_clock::now();
            std::cerr << '\r'
                      << progressLine(framesDone(frame - range.first), total, secondsSince(started))
                      << "\x1b[K" << std::flush;
        }
    }
    stopFrameCopier(copier);
    const bool encoded = stopEncoder(encoder, error);
    destroyOffscreenTarget(target);
    const bool closed = encoded && !interruptCaught() && closeFrameOutput(output, error);
    if (showProgress) {
        std::cerr << '\r'
                  << progressLine(framesDone(framesWritten(encoder)), total, secondsSince(started))
                  << "\x1b[K" << std::endl;
    }
    if (!closed) {
        // When ffmpeg stopped reading, its own words say more than the broken pipe, unless the
        // same Ctrl-C ended it.
        abandonFrameOutput(output);
        if (const int signal = interruptSignal()) {
            return stopInterrupted(output, signal, range.first, framesWritten(encoder));
        }
        return fail(output.ffmpegFailure.empty() ? error : output.ffmpegFailure);
    }
    if (!options.quiet) {
        std::cout << wroteLine(options, range.first, total) << std::endl;
    }
    return 0;
}

// With video on standard output, the stream keeps the descriptor to itself and every message,
// the scene code's included, goes to standard error. False for a terminal.
static bool takeStandardOutput(int& videoFd) {
    if (isatty(STDOUT_FILENO)) {
        return false;
    }
    videoFd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    return true;
}

int main(int argc, char** argv) {
    // The command line, the working folder and standard output.
    const ParseResult parsed = parseRenderOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.action != CommandLineAction::run) {
        return answerCommandLine(programName, renderUsage, parsed.action, parsed.error);
    }
    const RenderOptions& options = parsed.options;
    if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) {
        return fail("cannot work in " + printable(options.directory) + ": " + std::strerror(errno));
    }
    if (options.join) {
        return joinParts(options, programName);
    }
    // The page is made from the list's text alone: no context is needed.
    if (options.outputKind == OutputKind::webPage) {
        return exportWebPage(options, programName);
    }
    int videoFd = -1;
    if (options.outputKind == OutputKind::y4mStdout && !takeStandardOutput(videoFd)) {
        return fail(
            "standard output is a terminal: pipe the video into a program, or use -o NAME.y4m");
    }
    // A reader that goes away is a write error to report, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    // The driver's threads never see the signals; a render catches them from here on.
    holdInterrupts();
    HeadlessContext headless;
    FrameCopier copier;
    std::string error;
    const bool contextMade = createHeadlessContext(headless, error);
    const bool copierMade =
        contextMade && (options.check || createFrameCopier(copier, headless, error));
    releaseInterrupts(!options.check);
    if (!copierMade) {
        if (contextMade) {
            destroyHeadlessContext(headless);
        }
        return fail(error);
    }
    if (!options.quiet) {
        std::cout << openGlVersionLine(headless.glVersion) << std::endl;
    }

    // Check or render, then teardown in mirror order.
    FrameOutput output;
    int status = 0;
    if (!options.check && !openFrameOutput(output, options, videoFd, error)) {
        status = fail(error);
    } else {
        const CheckedSceneList list = loadCheckedSceneList(options.sceneList, !options.quiet);
        status = options.check ? checkScenes(options, list)
                               : renderScenes(options, list, copier, output);
        if (status != 0) {
            abandonFrameOutput(output);
        }
        for (Scene* scene : list.scenes) {
            releaseScene(scene);
        }
    }
    destroyFrameCopier(copier);
    destroyHeadlessContext(headless);
    if (videoFd >= 0) {
        close(videoFd);
    }
    return status;
}
