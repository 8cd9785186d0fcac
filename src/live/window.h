// The live window: resizable, with a current OpenGL 4.5 core context, in and out of full screen.
#pragma once

struct GLFWwindow;

// Where the window was before it went full screen, to go back there.
struct WindowPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The window, or nullptr after printing why not (the library is then terminated again).
GLFWwindow* createLiveWindow(int width, int height, bool fullscreen, WindowPlacement& windowed);
void toggleFullscreen(GLFWwindow* window, WindowPlacement& windowed);
