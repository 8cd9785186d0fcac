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
    if (parsed.action != CommandLineAction::run) {
        return answerCommandLine(programName, liveUsage, parsed.action, parsed.error);
    }

    // Set-up: the soundtrack, the window and its input, the display over it, the file watch, the
    // sequence, and the sound device, whose playback is the clock.
    LiveSession session;
    session.options = parsed.options;
    const LiveOptions& options = session.options;
    std::string error;
    if (!options.audio.empty() && !loadSoundtrack(options.audio, session.soundtrack, error)) {
        std::cerr << programName << ": " << error << std::endl;
        return 1;
    }
    session.window = createLiveWindow(options.width, options.height,
                                      options.fullscreen || options.show, session.windowed);
    if (!session.window) {
        return 1;
    }
    followWindowInput(session.window, session.input);
    // The display's own callbacks go in after ours and pass every event on to them.
    createHud(session.window);
    if (!options.show) {
        openSessionWatch(session);
    }
    startSequence(session);
    startSoundtrack(session);

    // The loop: events and commands, saves, the clock and the sound, then a frame when one is due.
    while (!session.controls.quit && !glfwWindowShouldClose(session.window)) {
        takeEvents(session);
        applyCommands(session);
        followSaves(session);
        const bool due = frameDue(session);
        followWithSound(session);
        if (due) {
            drawFrame(session);
            glfwSwapBuffers(session.window);
            finishFrame(session);
        }
        session.controls.quit = session.controls.quit || showIsOver(session);
    }
    printReports(session.reports);

    // Teardown mirrors set-up: the sound, the scenes and their picture, the watch, the display,
    // the window, the library.
    closeAudioOutput(session.audio);
    releaseSequence(session.sequence);
    releasePicture(session.picture);
    closeFileWatch(session.watch);
    destroyHud();
    glfwDestroyWindow(session.window);
    glfwTerminate();
    return 0;
}
