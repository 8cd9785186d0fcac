// The live window: resizable, with a current OpenGL 4.5 core context, in and out of full screen.
#include "live/window.h"

#include <glad/gl.h>

#include <GLFW/glfw3.h>

#include <iostream>

static const char* const windowTitle = "prismwafer-live";

static GLFWwindow* failAndTerminate(const char* message) {
    std::cerr << message << std::endl;
    glfwTerminate();
    return nullptr;
}

GLFWwindow* createLiveWindow(int width, int height, bool fullscreen, WindowPlacement& windowed) {
    if (!glfwInit()) {
        return failAndTerminate("ERROR: Failed to init GLFW");
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 5);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_RESIZABLE, GLFW_TRUE);

    windowed = WindowPlacement{0, 0, width, height};
    GLFWmonitor* monitor = fullscreen ? glfwGetPrimaryMonitor() : nullptr;
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    GLFWwindow* window =
        mode ? glfwCreateWindow(mode->width, mode->height, windowTitle, monitor, nullptr)
             : glfwCreateWindow(width, height, windowTitle, nullptr, nullptr);
    if (!window) {
        return failAndTerminate("ERROR: Failed to open window");
    }
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);

    // Terminating the library also destroys the window.
    const int version = gladLoadGL(glfwGetProcAddress);
    if (version == 0) {
        return failAndTerminate("ERROR: Failed to initialize OpenGL context");
    }
    std::cout << "INFO: Running over OpenGL " << GLAD_VERSION_MAJOR(version) << "."
              << GLAD_VERSION_MINOR(version) << std::endl;
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
