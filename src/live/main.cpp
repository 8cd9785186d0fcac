// prismwafer-live: the scene list in a window, frame-exact with the renderer, following saves.
#include <glad/gl.h>

#include <GLFW/glfw3.h>

#include <iostream>

#include "frames/command_line.h"
#include "live/hud.h"
#include "live/session.h"

static const char* const programName = "prismwafer-live";

int main(int argc, char** argv) {
    // The command line: help, the version and mistakes end here.
    const LiveCommandLine parsed =
        parseLiveOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.action == LiveAction::help || parsed.action == LiveAction::version) {
        std::cout << (parsed.action == LiveAction::help
                          ? liveUsage
                          : std::string(programName) + " " + PRISMWAFER_VERSION + "\n");
        return 0;
    }
    if (parsed.action == LiveAction::usageError) {
        printUsageError(programName, parsed.error);
        return 2;
    }

    // Set-up: the window and its input, the display over it, the file watch, the sequence.
    LiveSession session;
    session.options = parsed.options;
    const LiveOptions& options = session.options;
    session.window =
        createLiveWindow(options.width, options.height, options.fullscreen, session.windowed);
    if (!session.window) {
        return 1;
    }
    followWindowInput(session.window, session.input);
    // The display's own callbacks go in after ours and pass every event on to them.
    createHud(session.window);
    openSessionWatch(session);
    startSequence(session);
    // The clock's seam: whatever reads the seconds here leads the picture.
    session.clock = windowSystemClock();

    // The loop: events and commands, saves, then a frame when one is due.
    while (!session.controls.quit && !glfwWindowShouldClose(session.window)) {
        takeEvents(session);
        applyCommands(session);
        followSaves(session);
        if (frameDue(session)) {
            drawFrame(session);
            glfwSwapBuffers(session.window);
            finishFrame(session);
        }
    }
    printReports(session.reports);

    // Teardown mirrors set-up: the scenes and their picture, the watch, the display, the window,
    // the library.
    releaseSequence(session.sequence);
    releasePicture(session.picture);
    closeFileWatch(session.watch);
    destroyHud();
    glfwDestroyWindow(session.window);
    glfwTerminate();
    return 0;
}
