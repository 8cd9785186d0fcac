// Opens the player's full-screen window with a current OpenGL 4.5 core context.
#include "app/display.h"

#include <glad/gl.h>

#include <GLFW/glfw3.h>

#include <iostream>

static const int windowWidth = 1920;
static const int windowHeight = 1080;
static const char* const windowTitle = "Prismwafer -- Norv77 at Ostra 2019";

GLFWwindow* failAndTerminate(const char* message) {
    std::cerr << message << std::endl;
    glfwTerminate();
    return nullptr;
}

GLFWwindow* createDisplay() {
    if (!glfwInit()) {
        std::cerr << "ERROR: Failed to init GLFW" << std::endl;
        return nullptr;
    }

    hintCoreContext();

    // Colour depth and refresh rate follow the monitor's current mode; without a monitor or a
    // mode there is nothing to open a full-screen window on.
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    if (!mode) {
        return failAndTerminate("ERROR: Failed to open window");
    }
    glfwWindowHint(GLFW_RED_BITS, mode->redBits);
    glfwWindowHint(GLFW_GREEN_BITS, mode->greenBits);
    glfwWindowHint(GLFW_BLUE_BITS, mode->blueBits);
    glfwWindowHint(GLFW_REFRESH_RATE, mode->refreshRate);

    GLFWwindow* window = glfwCreateWindow(windowWidth, windowHeight, windowTitle, monitor, nullptr);
    if (!window) {
        return failAndTerminate("ERROR: Failed to open window");
    }
    return startOpenGl(window);
}

void hintCoreContext() {
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 5);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_RESIZABLE, GLFW_TRUE);
}

GLFWwindow* startOpenGl(GLFWwindow* window) {
    glfwMakeContextCurrent(window);
    // Terminating the library also destroys the window.
    const int version = gladLoadGL(glfwGetProcAddress);
    if (version == 0) {
        return failAndTerminate("ERROR: Failed to initialize OpenGL context");
    }
    std::cout << "INFO: Running over OpenGL " << GLAD_VERSION_MAJOR(version) << "."
              << GLAD_VERSION_MINOR(version) << std::endl;
    return window;
}
