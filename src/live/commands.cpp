// The live preview's commands: the one table from keys to commands, and the one place that
// carries them out (GL-free: the window's share is left to the loop as requests).
#include "live/commands.h"

// The key codes only: nothing here calls the windowing library.
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

enum class Shift { any, without, with };

struct KeyBinding {
    int key;
    Shift shift;
    bool repeats; // held down, the key acts again at the keyboard's repeat rate
    Command command;
};

static const KeyBinding keyBindings[] = {
    {GLFW_KEY_SPACE, Shift::any, false, Command::togglePause},
    {GLFW_KEY_LEFT, Shift::without, true, Command::secondBack},
    {GLFW_KEY_RIGHT, Shift::without, true, Command::secondForward},
    {GLFW_KEY_LEFT, Shift::with, true, Command::frameBack},
    {GLFW_KEY_RIGHT, Shift::with, true, Command::frameForward},
    {GLFW_KEY_COMMA, Shift::any, true, Command::frameBack},
    {GLFW_KEY_PERIOD, Shift::any, true, Command::frameForward},
    {GLFW_KEY_DOWN, Shift::without, true, Command::beatBack},
    {GLFW_KEY_UP, Shift::without, true, Command::beatForward},
    {GLFW_KEY_DOWN, Shift::with, true, Command::barBack},
    {GLFW_KEY_UP, Shift::with, true, Command::barForward},
    {GLFW_KEY_PAGE_UP, Shift::any, false, Command::previousScene},
    {GLFW_KEY_PAGE_DOWN, Shift::any, false, Command::nextScene},
    {GLFW_KEY_HOME, Shift::any, false, Command::toStart},
    {GLFW_KEY_L, Shift::any, false, Command::toggleLoop},
    {GLFW_KEY_LEFT_BRACKET, Shift::any, false, Command::slower},
    {GLFW_KEY_RIGHT_BRACKET, Shift::any, false, Command::faster},
    {GLFW_KEY_H, Shift::any, false, Command::toggleHud},
    {GLFW_KEY_F11, Shift::any, false, Command::toggleFullscreen},
    {GLFW_KEY_F12, Shift::any, false, Command::writeFrame},
    {GLFW_KEY_R, Shift::any, false, Command::reloadAll},
    {GLFW_KEY_ESCAPE, Shift::any, false, Command::quit},
};

Command commandForKey(int key, int action, int mods) {
    const bool shifted = (mods & GLFW_MOD_SHIFT) != 0;
    for (const KeyBinding& binding : keyBindings) {
        const bool shiftFits =
            binding.shift == Shift::any || shifted == (binding.shift == Shift::with);
        const bool actionFits = action == GLFW_PRESS || (action == GLFW_REPEAT && binding.repeats);
        if (binding.key == key && shiftFits && actionFits) {
            return binding.command;
        }
    }
    return Command::none;
}

// The beat `beats` on from the frame shown: forward from its end, so that a frame that holds a
// beat does not step to that same beat again.
static void stepOnGrid(LiveControls& controls, const Timeline& timeline, int beats) {
    if (controls.grid.bpm <= 0.0) {
        return;
    }
    const Playhead& playhead = controls.playhead;
    const double from =
        beats > 0 ? playhead.seconds + (1.0 - 1e-6) / timeline.fps : playhead.seconds;
    seekSeconds(controls.playhead, timeline, stepBeats(controls.grid, from, beats));
}

void applyCommand(LiveControls& controls, const Timeline& timeline, Command command) {
    Playhead& playhead = controls.playhead;
    switch (command) {
    case Command::none:
        break;
    case Command::togglePause:
        togglePause(playhead, timeline);
        break;
    case Command::secondBack:
    case Command::secondForward:
        seekSeconds(playhead, timeline,
                    playhead.seconds + (command == Command::secondBack ? -1.0 : 1.0));
        break;
    case Command::frameBack:
    case Command::frameForward:
        seekFrame(playhead, timeline, playhead.frame + (command == Command::frameBack ? -1 : 1));
        break;
    case Command::beatBack:
    case Command::beatForward:
        stepOnGrid(controls, timeline, command == Command::beatBack ? -1 : 1);
        break;
    case Command::barBack:
    case Command::barForward:
        stepOnGrid(controls, timeline,
                   (command == Command::barBack ? -1 : 1) * controls.grid.beatsPerBar);
        break;
    case Command::previousScene:
        toPreviousScene(playhead, timeline);
        break;
    case Command::nextScene:
        toNextScene(playhead, timeline);
        break;
    case Command::toStart:
        seekSeconds(playhead, timeline, 0.0);
        break;
    case Command::toggleLoop:
        playhead.looping = !playhead.looping;
        break;
    case Command::slower:
    case Command::faster:
        changeSpeed(playhead, command == Command::slower ? 0.5 : 2.0);
        break;
    case Command::toggleHud:
        controls.hudShown = !controls.hudShown;
        break;
    case Command::toggleFullscreen:
        controls.toggleFullscreen = true;
        break;
    case Command::writeFrame:
        controls.writeFrame = true;
        break;
    case Command::reloadAll:
        controls.reloadAll = true;
        break;
    case Command::quit:
        controls.quit = true;
        break;
    }
}
