// The floor for the player's start-up: the same window, the same shaders compiled and linked,
// and nothing else; then one cleared frame.
#include <glad/gl.h>

#include <GLFW/glfw3.h>

#include "app/display.h"
#include "scene/scene.h"
#include "scene/scene_text.h"

int main() {
    GLFWwindow* window = createDisplay();
    if (!window) {
        return 1;
    }
    // The same files in the same order as the player reads them, without its buffers, vertex
    // arrays, matrix uploads or messages.
    std::vector<GLuint> programs;
    const std::string list = readTextFile("shaders/prog.csv");
    size_t number = 0;
    for (std::string_view text : splitLines(list)) {
        const SceneLine line = readSceneLine(text, "shaders/prog.csv", ++number);
        if (line.isScene) {
            programs.push_back(buildProgram(readTextFile(std::string(line.vertexPath)),
                                            readTextFile(std::string(line.fragmentPath))));
        }
    }
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glfwSwapBuffers(window);

    for (GLuint program : programs) {
        glDeleteProgram(program);
    }
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
