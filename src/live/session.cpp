// One live session: what the loop works on, and the loop's jobs, each in a function of its own.
#include "live/session.h"

#include <glad/gl.h>

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "frames/png.h"
#include "live/hud.h"

static const char* const programName = "prismwafer-live";
// While nothing moves, the loop still looks at the file watch this often.
static const double idleLook = 1.0 / 60.0;
// Playing, the title's time changes every frame; the window system is told a few times a second.
static const double titleInterval = 0.25;
// How long a notice stays on screen.
static const double noticeSeconds = 3.0;

static double windowSystemSeconds(void*) {
    return glfwGetTime();
}

ClockSource windowSystemClock() {
    return {windowSystemSeconds, nullptr};
}

void startSoundtrack(LiveSession& session) {
    session.clock = windowSystemClock();
    if (session.soundtrack.samples.empty()) {
        return;
    }
    session.stripSound.soundtrack = &session.soundtrack;
    std::string error;
    if (!openAudioOutput(session.audio, session.soundtrack, error)) {
        std::cerr << programName << ": no sound device (" << error
                  << "); the picture keeps real time, in silence" << std::endl;
        return;
    }
    session.audioLeads = true;
    session.clock = {audioClockSeconds, &session.audio};
    session.audioMoved = true;
}

void followWithSound(LiveSession& session) {
    if (!session.audioLeads) {
        return;
    }
    AudioOutput& audio = session.audio;
    Playhead& playhead = session.controls.playhead;
    if (!audioAlive(audio)) {
        std::cerr << programName << ": the sound device went away; the picture keeps real time"
                  << std::endl;
        session.audioLeads = false;
        session.clock = windowSystemClock();
        playhead.lastReading.reset();
        return;
    }
    const bool playing = !playhead.paused;
    const bool muted = playhead.speed != 1.0;
    const bool changed = playing != audio.playing || muted != audio.muted.load();
    audio.muted.store(muted);
    // A loop's turn or a list that got shorter moves the place without a command.
    const bool astray = playing && std::abs(heardSeconds(audio) - playhead.seconds) > 0.05;
    if (playing && !muted && (changed || session.audioMoved || astray)) {
        playAudioFrom(audio, playhead.seconds);
    }
    if (playing != audio.playing) {
        setAudioPlaying(audio, playing);
    }
    session.audioMoved = false;
}

void openSessionWatch(LiveSession& session) {
    std::string error;
    if (!openFileWatch(session.watch, error)) {
        std::cerr << programName << ": saves cannot be followed (" << error << "); R reloads"
                  << std::endl;
    }
}

static void rebuildTimeline(LiveSession& session) {
    session.timeline = makeTimeline(sequenceDurations(session.sequence), session.options.fps);
    watchFiles(session.watch, sequencePaths(session.sequence));
}

void startSequence(LiveSession& session) {
    const LiveOptions& options = session.options;
    session.sequence.listPath = options.sceneList;
    const ListRead read = readSequence(session.sequence, false, session.builds);
    reportBuilds(session.sequence, session.builds, 0, 0.0, session.reports);
    reportList(session.sequence, read, "Read", session.reports);
    rebuildTimeline(session);
    session.problems = problemLines(session.sequence);
    session.controls.hudShown = options.hud && !options.show;
    session.controls.playhead.paused = options.paused && !options.show;
    session.controls.grid = MusicGrid{options.bpm, options.beatsPerBar, options.rowsPerBeat};
    const std::string note =
        startPlayhead(session.controls.playhead, session.timeline, options.at, options.scene);
    if (!note.empty()) {
        session.reports.push_back({"Start: " + note, "", 0, false});
    }
    session.lastSwap = glfwGetTime();
    session.titleSetAt = -INFINITY;
}

// The display is drawn when shown, and hidden too while a notice is up.
static bool displayDrawn(const LiveSession& session) {
    return session.controls.hudShown || !session.notice.empty();
}

void takeEvents(LiveSession& session) {
    // Paused with nothing to redraw, wait for events, looking at the file watch meanwhile.
    const bool echoing = displayDrawn(session) && session.hudEchoes > 0;
    if (session.controls.playhead.paused && !session.input.redraw && !echoing) {
        const double untilSettled = nextSettleTime(session.watch) - steadySeconds();
        glfwWaitEventsTimeout(std::clamp(untilSettled, 0.0, idleLook));
    } else {
        glfwPollEvents();
    }
}

void applyCommands(LiveSession& session) {
    Input& input = session.input;
    for (size_t i = 0; i < input.commandCount; ++i) {
        // For an audience, Escape is the only key.
        if (!session.options.show || input.commands[i] == Command::quit) {
            applyCommand(session.controls, session.timeline, input.commands[i]);
            session.audioMoved = true;
        }
        input.redraw = true;
    }
    input.commandCount = 0;
    if (session.controls.toggleFullscreen) {
        session.controls.toggleFullscreen = false;
        toggleFullscreen(session.window, session.windowed);
    }
}

// The scene on screen now, or none for an empty timeline.
static size_t shownScene(const LiveSession& session) {
    return session.timeline.endFrames.empty()
               ? SIZE_MAX
               : shownSlot(session.controls.playhead, session.timeline).scene;
}

void followSaves(LiveSession& session) {
    LiveSequence& sequence = session.sequence;
    collectChanges(session.watch);
    session.settled.clear();
    takeSettledChanges(session.watch, steadySeconds(), session.settled);
    const bool reloadAll = session.controls.reloadAll;
    session.controls.reloadAll = false;
    if (reloadAll) {
        session.settled.push_back({sequence.listPath, steadySeconds()});
    }
    // The list rebuilds the sequence, a shader its scenes; both redraw at once.
    for (const SettledChange& change : session.settled) {
        session.builds.clear();
        if (change.path != sequence.listPath) {
            reloadShaderFile(sequence, change.path, session.builds);
            reportBuilds(sequence, session.builds, shownScene(session), change.firstSeen,
                         session.reports);
            session.input.redraw = session.input.redraw || !session.builds.empty();
            continue;
        }
        const ListRead read = readSequence(sequence, reloadAll, session.builds);
        if (!read.changed) {
            continue;
        }
        reportBuilds(sequence, session.builds, SIZE_MAX, change.firstSeen, session.reports);
        reportList(sequence, read, reloadAll ? "Reloaded everything from" : "Read",
                   session.reports);
        rebuildTimeline(session);
        fitPlayhead(session.controls.playhead, session.timeline);
        session.input.redraw = true;
    }
    if (!session.settled.empty()) {
        session.problems = problemLines(sequence);
    }
}

bool frameDue(LiveSession& session) {
    Playhead& playhead = session.controls.playhead;
    if (!session.notice.empty() && glfwGetTime() >= session.noticeUntil) {
        session.notice.clear();
        session.input.redraw = true;
    }
    const bool moved =
        advancePlayhead(playhead, session.timeline, session.clock.seconds(session.clock.context));
    const bool needed = moved || session.input.redraw || !playhead.paused;
    if (!needed && !(displayDrawn(session) && session.hudEchoes > 0)) {
        return false;
    }
    // The display lays a new window out over two frames; paused, they are drawn too.
    session.hudEchoes = needed ? 2 : session.hudEchoes - 1;
    session.input.redraw = false;
    return true;
}

// F12: the frame just drawn, read from the picture before it is shown and the display goes over it.
static void writeShownFrame(LiveSession& session, int width, int height) {
    const Playhead& playhead = session.controls.playhead;
    session.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, session.pixels.data());
    char name[96];
    std::snprintf(name, sizeof name, "frame-%05lld-%dx%d.png",
                  static_cast<long long>(playhead.frame), width, height);
    std::string error;
    if (writePngFile(name, session.pixels.data(), width, height, error)) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f s", shownSecond(playhead, session.timeline));
        session.notice = "Wrote " + std::string(name) + ": frame " +
                         std::to_string(playhead.frame) + ", " + seconds;
        std::cout << session.notice << std::endl;
    } else {
        session.notice = "Not written: " + error;
        std::cerr << programName << ": " << error << std::endl;
    }
    session.noticeUntil = glfwGetTime() + noticeSeconds;
}

void drawFrame(LiveSession& session) {
    LiveControls& controls = session.controls;
    session.drawStart = glfwGetTime();
    const int width = session.input.width;
    const int height = session.input.height;
    beginPicture(session.picture, width, height);
    glViewport(0, 0, width, height);
    if (session.timeline.endFrames.empty()) {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    } else {
        const FrameSlot slot = shownSlot(controls.playhead, session.timeline);
        drawScene(*session.sequence.scenes[slot.scene]->scene, slot.elapsed);
    }
    if (controls.writeFrame && width > 0 && height > 0) {
        writeShownFrame(session, width, height);
    }
    controls.writeFrame = false;
    showPicture(session.picture);
    if (displayDrawn(session)) {
        const int64_t seek =
            layOutHud(HudFacts{&session.sequence, &session.problems, &session.timeline,
                               &controls.playhead, session.frameMilliseconds, controls.hudShown,
                               session.notice.empty() ? nullptr : session.notice.c_str(),
                               &controls.grid, &session.stripSound});
        drawHud();
        if (seek >= 0) {
            seekFrame(controls.playhead, session.timeline, seek);
            session.input.redraw = true;
        }
    }
}

static void updateTitle(LiveSession& session, double now) {
    const Playhead& playhead = session.controls.playhead;
    const bool empty = session.timeline.endFrames.empty();
    const size_t scene = empty ? 0 : shownSlot(playhead, session.timeline).scene;
    formatTitle(session.title, sizeof session.title, scene, session.sequence.scenes.size(),
                empty ? "" : session.sequence.scenes[scene]->vertexName.c_str(),
                shownSecond(playhead, session.timeline), playhead.paused);
    if (std::strcmp(session.title, session.shownTitle) != 0 &&
        (playhead.paused || session.titlePaused || now - session.titleSetAt >= titleInterval)) {
        glfwSetWindowTitle(session.window, session.title);
        std::strcpy(session.shownTitle, session.title);
        session.titlePaused = playhead.paused;
        session.titleSetAt = now;
    }
}

void finishFrame(LiveSession& session) {
    const double now = glfwGetTime();
    // Playing, the time from frame to frame; paused, what the last frame took to draw.
    if (session.controls.playhead.paused) {
        session.frameMilliseconds = (now - session.drawStart) * 1000.0;
    } else {
        session.frameMilliseconds +=
            ((now - session.lastSwap) * 1000.0 - session.frameMilliseconds) * 0.1;
    }
    session.lastSwap = now;
    printReports(session.reports);
    updateTitle(session, now);
}

bool showIsOver(const LiveSession& session) {
    const Playhead& playhead = session.controls.playhead;
    return session.options.show &&
           (session.timeline.endFrames.empty() ||
            (playhead.paused && playhead.frame == lastFrame(session.timeline)));
}
