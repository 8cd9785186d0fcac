// Opens the programs' windows, each with a current OpenGL 4.5 core context: the player's full
// screen, and the live preview's, which goes in and out of full screen.
#include "app/display.h"

#include <glad/gl.h>

#include <GLFW/glfw3.h>

#include <iostream>

#include "scene/message_text.h"

static const int playerWidth = 1920;
static const int playerHeight = 1080;
static const char* const playerTitle = "Prismwafer -- Norv77 at Ostra 2019";
static const char* const liveTitle = "prismwafer-live";

// What a program asks of its window.
struct WindowRequest {
    int width, height;
    const char* title;
    bool fullscreen;    // on the primary monitor
    bool needsMonitor;  // without one, fail rather than open a window on the desktop
    bool monitorSize;   // full screen in the monitor's own size rather than the one asked for
    bool monitorFormat; // colour depth and refresh rate as the monitor's current mode
};

// A start-up failure; the window cannot exist without the library, so it goes too.
static GLFWwindow* failAndTerminate(const char* message) {
    std::cerr << message << std::endl;
    glfwTerminate();
    return nullptr;
}

static GLFWwindow* openWindow(const WindowRequest& request) {
    if (!glfwInit()) {
        std::cerr << "ERROR: Failed to init GLFW" << std::endl;
        return nullptr;
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 5);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_RESIZABLE, GLFW_TRUE);

    GLFWmonitor* monitor = request.fullscreen ? glfwGetPrimaryMonitor() : nullptr;
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    if (request.needsMonitor && !mode) {
        return failAndTerminate("ERROR: Failed to open window");
    }
    if (mode && request.monitorFormat) {
        glfwWindowHint(GLFW_RED_BITS, mode->redBits);
        glfwWindowHint(GLFW_GREEN_BITS, mode->greenBits);
        glfwWindowHint(GLFW_BLUE_BITS, mode->blueBits);
        glfwWindowHint(GLFW_REFRESH_RATE, mode->refreshRate);
    }
    const bool monitorSize = mode && request.monitorSize;
    GLFWwindow* window = glfwCreateWindow(monitorSize ? mode->width : request.width,
                                          monitorSize ? mode->height : request.height,
                                          request.title, mode ? monitor : nullptr, nullptr);
    if (!window) {
        return failAndTerminate("ERROR: Failed to open window");
    }

    glfwMakeContextCurrent(window);
    // Terminating the library also destroys the window.
    const int version = gladLoadGL(glfwGetProcAddress);
    if (version == 0) {
        return failAndTerminate("ERROR: Failed to initialize OpenGL context");
    }
    std::cout << openGlVersionLine(version) << std::endl;
    return window;
}

GLFWwindow* createDisplay() {
    return openWindow({playerWidth, playerHeight, playerTitle, true, true, false, true});
}

GLFWwindow* createLiveWindow(int width, int height, bool fullscreen, WindowPlacement& windowed) {
    windowed = WindowPlacement{0, 0, width, height};
    GLFWwindow* window = openWindow({width, height, liveTitle, fullscreen, false, true, false});
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
