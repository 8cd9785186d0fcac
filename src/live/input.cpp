// The live window's events, kept for the loop: commands in the order their keys were pressed,
// and whether a new frame is needed.
#include "live/input.h"

#include <GLFW/glfw3.h>

#include <iterator>

static Input& inputOf(GLFWwindow* window) {
    return *static_cast<Input*>(glfwGetWindowUserPointer(window));
}

static void onKey(GLFWwindow* window, int key, int /*scancode*/, int action, int mods) {
    Input& input = inputOf(window);
    const Command command = commandForKey(key, action, mods);
    if (command != Command::none && input.commandCount < std::size(input.commands)) {
        input.commands[input.commandCount++] = command;
    }
}

// Resizes, exposures and the pointer (for the display's strip) all need a new frame.
static void onResize(GLFWwindow* window, int width, int height) {
    Input& input = inputOf(window);
    input.width = width;
    input.height = height;
    input.redraw = true;
}
static void onRefresh(GLFWwindow* window) {
    inputOf(window).redraw = true;
}
static void onPointer(GLFWwindow* window, double, double) {
    inputOf(window).redraw = true;
}
static void onButton(GLFWwindow* window, int, int, int) {
    inputOf(window).redraw = true;
}

void followWindowInput(GLFWwindow* window, Input& input) {
    glfwSetWindowUserPointer(window, &input);
    glfwSetKeyCallback(window, onKey);
    glfwGetFramebufferSize(window, &input.width, &input.height);
    glfwSetFramebufferSizeCallback(window, onResize);
    glfwSetWindowRefreshCallback(window, onRefresh);
    glfwSetCursorPosCallback(window, onPointer);
    glfwSetMouseButtonCallback(window, onButton);
}
