// The live window: resizable, with a current OpenGL 4.5 core context, in and out of full screen.
#include "live/window.h"

#include <GLFW/glfw3.h>

#include "app/display.h"

static const char* const windowTitle = "prismwafer-live";

GLFWwindow* createLiveWindow(int width, int height, bool fullscreen, WindowPlacement& windowed) {
    if (!glfwInit()) {
        return failAndTerminate("ERROR: Failed to init GLFW");
    }
    hintCoreContext();

    windowed = WindowPlacement{0, 0, width, height};
    GLFWmonitor* monitor = fullscreen ? glfwGetPrimaryMonitor() : nullptr;
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    GLFWwindow* window =
        mode ? glfwCreateWindow(mode->width, mode->height, windowTitle, monitor, nullptr)
             : glfwCreateWindow(width, height, windowTitle, nullptr, nullptr);
    if (!window) {
        return failAndTerminate("ERROR: Failed to open window");
    }
    window = startOpenGl(window);
    if (window) {
        glfwSwapInterval(1);
    }
    return window;
}

void toggleFullscreen(GLFWwindow* window, WindowPlacement& windowed) {
    if (glfwGetWindowMonitor(window)) {
        glfwSetWindowMonitor(window, nullptr, windowed.x, windowed.y, windowed.width,
                             windowed.height, 0);
        return;
    }
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    if (!mode) {
        return;
    }
    glfwGetWindowPos(window, &windowed.x, &windowed.y);
    glfwGetWindowSize(window, &windowed.width, &windowed.height);
    glfwSetWindowMonitor(window, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
}
