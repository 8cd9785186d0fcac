// prismwafer-live: the scene list in a window, frame-exact with the renderer, following saves.
#include <glad/gl.h>

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "frames/command_line.h"
#include "frames/png.h"
#include "live/hud.h"
#include "live/options.h"
#include "live/picture.h"
#include "live/playhead.h"
#include "live/sequence.h"
#include "live/watch.h"
#include "live/window.h"

static const char* const programName = "prismwafer-live";
// While nothing moves, the loop still looks at the file watch this often.
static const double idleLook = 1.0 / 60.0;
// Playing, the title's time changes every frame; the window system is told a few times a second.
static const double titleInterval = 0.25;

// What the window's callbacks leave for the loop: commands in the order keys were pressed, and
// the framebuffer's size, kept here because asking the window system costs a round trip.
struct Input {
    Command commands[64];
    size_t commandCount = 0;
    bool redraw = true;
    int width = 0;
    int height = 0;
};

static Input& inputOf(GLFWwindow* window) {
    return *static_cast<Input*>(glfwGetWindowUserPointer(window));
}

static void onKey(GLFWwindow* window, int key, int /*scancode*/, int action, int mods) {
    Input& input = inputOf(window);
    const Command command = commandForKey(key, action, mods);
    if (command != Command::none && input.commandCount < std::size(input.commands)) {
        input.commands[input.commandCount++] = command;
    }
}

// Resizes, exposures and the pointer (for the display's strip) all need a new frame.
static void onResize(GLFWwindow* window, int width, int height) {
    Input& input = inputOf(window);
    input.width = width;
    input.height = height;
    input.redraw = true;
}
static void onRefresh(GLFWwindow* window) {
    inputOf(window).redraw = true;
}
static void onPointer(GLFWwindow* window, double, double) {
    inputOf(window).redraw = true;
}
static void onButton(GLFWwindow* window, int, int, int) {
    inputOf(window).redraw = true;
}

static double windowSystemSeconds(void*) {
    return glfwGetTime();
}

// Where a scene is named in a report: its file and number.
static std::string sceneText(const SceneBuild& build, const std::string& file) {
    return printable(file) + " (scene " + std::to_string(build.scene + 1) + ")";
}

static std::string millisecondsText(double milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", milliseconds);
    return text;
}

// A line about an event, printed once the frame that follows it is on screen: a new program
// for the scene shown says how long after the save that was.
struct Report {
    std::string line;
    std::string ending;
    double seenAt; // when the save's first event was read, on the watch's steady clock
    bool onScreen;
};

// One line per build, and every problem found on standard error at once.
static void reportBuilds(const LiveSequence& sequence, const std::vector<SceneBuild>& builds,
                         size_t shownScene, double seenAt, std::vector<Report>& reports) {
    for (const SceneBuild& build : builds) {
        const LiveScene& live = *sequence.scenes[build.scene];
        for (const std::string& path : live.unreadable) {
            std::cerr << printable(path) << ": cannot be read" << std::endl;
        }
        if (build.built && !build.linked) {
            for (const std::string& problem : live.problems) {
                std::cerr << problem << std::endl;
            }
        }
        if (build.file.empty()) {
            continue; // a list read is summed up in a line of its own
        }
        const std::string where = sceneText(build, build.file);
        const std::string cleared = build.cleared ? "; its problems are cleared" : "";
        if (!build.readable) {
            reports.push_back(
                {"Cannot read " + where + "; the last good program stays", "", 0, false});
        } else if (!build.linked) {
            const size_t count = live.problems.size();
            reports.push_back({"Failed " + where + " in " + millisecondsText(build.milliseconds) +
                                   ": " + std::to_string(count) +
                                   (count == 1 ? " problem" : " problems") +
                                   "; the last good program stays",
                               "", 0, false});
        } else if (!build.built) {
            reports.push_back({"Unchanged " + where, cleared, 0, false});
        } else {
            reports.push_back({"Reloaded " + where + " in " + millisecondsText(build.milliseconds),
                               cleared, seenAt, build.scene == shownScene});
        }
    }
}

static void reportList(const LiveSequence& sequence, const ListRead& read, const char* verb,
                       std::vector<Report>& reports) {
    for (const std::string& problem : sequence.listProblems) {
        std::cerr << printable(problem) << std::endl;
    }
    const std::string list = printable(sequence.listPath);
    const size_t count = sequence.scenes.size();
    std::string line;
    if (!sequence.listReadable) {
        line = "Cannot read " + list + ": the timeline is empty until it is written";
    } else if (count == 0) {
        line = list + " makes no scenes: the timeline is empty until it is written";
    } else {
        line = std::string(verb) + " " + list + " in " + millisecondsText(read.milliseconds) +
               ": " + std::to_string(count) + (count == 1 ? " scene, " : " scenes, ") +
               std::to_string(read.built) + " built, " + std::to_string(read.kept) + " unchanged";
    }
    reports.push_back({line, "", 0, false});
}

static void printReports(std::vector<Report>& reports) {
    for (const Report& report : reports) {
        std::cout << report.line;
        if (report.onScreen) {
            std::cout << ", on screen "
                      << millisecondsText((steadySeconds() - report.seenAt) * 1000.0)
                      << " after the save was seen";
        }
        std::cout << report.ending << std::endl;
    }
    reports.clear();
}

// F12: the frame just drawn, read from the picture before it is shown and the display goes over it.
static void writeShownFrame(const Playhead& playhead, const Timeline& timeline, int width,
                            int height, std::vector<uint8_t>& pixels) {
    pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    char name[96];
    std::snprintf(name, sizeof name, "frame-%05lld-%dx%d.png",
                  static_cast<long long>(playhead.frame), width, height);
    std::string error;
    if (writePngFile(name, pixels.data(), width, height, error)) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f s", shownSecond(playhead, timeline));
        std::cout << "Wrote " << name << ": frame " << playhead.frame << ", " << seconds
                  << std::endl;
    } else {
        std::cerr << programName << ": " << error << std::endl;
    }
}

int main(int argc, char** argv) {
    const LiveCommandLine parsed =
        parseLiveOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.action == LiveAction::help) {
        std::cout << liveUsage;
        return 0;
    }
    if (parsed.action == LiveAction::version) {
        std::cout << programName << " " << PRISMWAFER_VERSION << std::endl;
        return 0;
    }
    if (parsed.action == LiveAction::usageError) {
        printUsageError(programName, parsed.error);
        return 2;
    }
    const LiveOptions& options = parsed.options;

    WindowPlacement windowed;
    GLFWwindow* window =
        createLiveWindow(options.width, options.height, options.fullscreen, windowed);
    if (!window) {
        return 1;
    }
    Input input;
    glfwSetWindowUserPointer(window, &input);
    glfwSetKeyCallback(window, onKey);
    glfwGetFramebufferSize(window, &input.width, &input.height);
    glfwSetFramebufferSizeCallback(window, onResize);
    glfwSetWindowRefreshCallback(window, onRefresh);
    glfwSetCursorPosCallback(window, onPointer);
    glfwSetMouseButtonCallback(window, onButton);
    // The display's own callbacks go in after ours and pass every event on to them.
    createHud(window);

    FileWatch watch;
    std::string watchError;
    if (!openFileWatch(watch, watchError)) {
        std::cerr << programName << ": saves cannot be followed (" << watchError << "); R reloads"
                  << std::endl;
    }

    LiveSequence sequence;
    sequence.listPath = options.sceneList;
    std::vector<SceneBuild> builds;
    std::vector<Report> reports;
    const ListRead firstRead = readSequence(sequence, false, builds);
    reportBuilds(sequence, builds, 0, 0.0, reports);
    reportList(sequence, firstRead, "Read", reports);
    watchFiles(watch, sequencePaths(sequence));
    // What the display lists changes only with a build, not from frame to frame.
    std::vector<std::string> problems = problemLines(sequence);
    Timeline timeline = makeTimeline(sequenceDurations(sequence), options.fps);
    Playhead playhead;
    playhead.paused = options.paused;
    const std::string startNote = startPlayhead(playhead, timeline, options.at, options.scene);
    if (!startNote.empty()) {
        reports.push_back({"Start: " + startNote, "", 0, false});
    }

    // Real time comes from the window system unless something else is to lead.
    const ClockSource clock = {windowSystemSeconds, nullptr};
    bool hudShown = options.hud;
    int hudEchoes = 0;
    bool running = true;
    std::vector<SettledChange> settled;
    std::vector<uint8_t> pixels;
    LivePicture picture;
    char title[512] = "";
    char shownTitle[512] = "";
    bool titlePaused = false;
    double titleSetAt = -INFINITY;
    double lastSwap = glfwGetTime();
    double frameMilliseconds = 0.0;
    while (running && !glfwWindowShouldClose(window)) {
        // Paused with nothing to redraw, wait for events, looking at the file watch meanwhile.
        if (playhead.paused && !input.redraw && !(hudShown && hudEchoes > 0)) {
            const double untilSettled = nextSettleTime(watch) - steadySeconds();
            glfwWaitEventsTimeout(std::clamp(untilSettled, 0.0, idleLook));
        } else {
            glfwPollEvents();
        }

        bool writeFrame = false;
        bool reloadAll = false;
        for (size_t i = 0; i < input.commandCount; ++i) {
            const Command command = input.commands[i];
            if (command == Command::quit) {
                running = false;
            } else if (command == Command::toggleHud) {
                hudShown = !hudShown;
            } else if (command == Command::toggleFullscreen) {
                toggleFullscreen(window, windowed);
            } else if (command == Command::writeFrame) {
                writeFrame = true;
            } else if (command == Command::reloadAll) {
                reloadAll = true;
            } else {
                applyCommand(playhead, timeline, command);
            }
            input.redraw = true;
        }
        input.commandCount = 0;

        // Saves: the list rebuilds the sequence, a shader its scenes. Both redraw at once.
        collectChanges(watch);
        settled.clear();
        takeSettledChanges(watch, steadySeconds(), settled);
        if (reloadAll) {
            settled.push_back({sequence.listPath, steadySeconds()});
        }
        for (const SettledChange& change : settled) {
            const size_t shownScene =
                timeline.endFrames.empty() ? SIZE_MAX : shownSlot(playhead, timeline).scene;
            builds.clear();
            if (change.path != sequence.listPath) {
                reloadShaderFile(sequence, change.path, builds);
                reportBuilds(sequence, builds, shownScene, change.firstSeen, reports);
                input.redraw = input.redraw || !builds.empty();
                continue;
            }
            const ListRead read = readSequence(sequence, reloadAll, builds);
            if (!read.changed) {
                continue;
            }
            reportBuilds(sequence, builds, SIZE_MAX, change.firstSeen, reports);
            reportList(sequence, read, reloadAll ? "Reloaded everything from" : "Read", reports);
            watchFiles(watch, sequencePaths(sequence));
            timeline = makeTimeline(sequenceDurations(sequence), options.fps);
            fitPlayhead(playhead, timeline);
            input.redraw = true;
        }
        if (!settled.empty()) {
            problems = problemLines(sequence);
        }

        const bool moved = advancePlayhead(playhead, timeline, clock.seconds(clock.context));
        const bool needed = moved || input.redraw || !playhead.paused;
        if (!needed && !(hudShown && hudEchoes > 0)) {
            continue;
        }
        // The display lays a new window out over two frames; paused, they are drawn too.
        hudEchoes = needed ? 2 : hudEchoes - 1;
        input.redraw = false;

        const double drawStart = glfwGetTime();
        const int width = input.width;
        const int height = input.height;
        beginPicture(picture, width, height);
        glViewport(0, 0, width, height);
        if (timeline.endFrames.empty()) {
            glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        } else {
            const FrameSlot slot = shownSlot(playhead, timeline);
            drawScene(*sequence.scenes[slot.scene]->scene, slot.elapsed);
        }
        if (writeFrame && width > 0 && height > 0) {
            writeShownFrame(playhead, timeline, width, height, pixels);
        }
        showPicture(picture);
        if (hudShown) {
            const int64_t seek =
                layOutHud(HudFacts{&sequence, &problems, &timeline, &playhead, frameMilliseconds});
            drawHud();
            if (seek >= 0) {
                seekFrame(playhead, timeline, seek);
            }
            input.redraw = input.redraw || seek >= 0;
        }
        glfwSwapBuffers(window);

        const double now = glfwGetTime();
        // Playing, the time from frame to frame; paused, what the last frame took to draw.
        if (playhead.paused) {
            frameMilliseconds = (now - drawStart) * 1000.0;
        } else {
            frameMilliseconds += ((now - lastSwap) * 1000.0 - frameMilliseconds) * 0.1;
        }
        lastSwap = now;
        printReports(reports);

        const bool empty = timeline.endFrames.empty();
        const size_t scene = empty ? 0 : shownSlot(playhead, timeline).scene;
        formatTitle(title, sizeof title, scene, sequence.scenes.size(),
                    empty ? "" : sequence.scenes[scene]->vertexName.c_str(),
                    shownSecond(playhead, timeline), playhead.paused);
        if (std::strcmp(title, shownTitle) != 0 &&
            (playhead.paused || titlePaused || now - titleSetAt >= titleInterval)) {
            glfwSetWindowTitle(window, title);
            std::strcpy(shownTitle, title);
            titlePaused = playhead.paused;
            titleSetAt = now;
        }
    }

    printReports(reports);

    // Teardown mirrors set-up: the scenes, the watch, the display, the window, the library.
    releaseSequence(sequence);
    releasePicture(picture);
    closeFileWatch(watch);
    destroyHud();
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
