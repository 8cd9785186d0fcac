// The live preview's commands: the one table from keys to commands, and the one place that
// carries them out (GL-free: the window's share is left to the loop as requests).
#pragma once

#include "frames/music_grid.h"
#include "live/playhead.h"

enum class Command {
    none,
    togglePause,
    secondBack,
    secondForward,
    frameBack,
    frameForward,
    beatBack,
    beatForward,
    barBack,
    barForward,
    previousScene,
    nextScene,
    toStart,
    toggleLoop,
    slower,
    faster,
    toggleHud,
    toggleFullscreen,
    writeFrame,
    reloadAll,
    quit,
};

// The command a key stands for, from GLFW's key, action and modifier codes.
Command commandForKey(int key, int action, int mods);

// What the commands act on: the clock and the display's visibility at once, and what needs the
// window, the files or the loop as requests that the loop takes and clears.
struct LiveControls {
    Playhead playhead;
    MusicGrid grid; // without a tempo, the beat and bar keys do nothing
    bool hudShown = true;
    bool quit = false;
    bool toggleFullscreen = false;
    bool writeFrame = false;
    bool reloadAll = false;
};

// Carries out one command. Every command changes what a frame shows, so each asks for one.
void applyCommand(LiveControls& controls, const Timeline& timeline, Command command);
