// Opens the programs' windows, each with a current OpenGL 4.5 core context: the player's full
// screen, and the live preview's, which goes in and out of full screen.
#pragma once

struct GLFWwindow;

// The player's window: full screen on the primary monitor at 1920 x 1080, colour depth and
// refresh rate as the monitor's current mode. nullptr after printing why not (the library is
// then terminated where it had been initialised).
GLFWwindow* createDisplay();

// Where the window was before it went full screen, to go back there.
struct WindowPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The live preview's window: resizable at the given size, or full screen on the primary monitor
// in its current mode when asked and there is one; synchronised to the display's refresh.
// nullptr after printing why not, as for the player.
GLFWwindow* createLiveWindow(int width, int height, bool fullscreen, WindowPlacement& windowed);
void toggleFullscreen(GLFWwindow* window, WindowPlacement& windowed);
