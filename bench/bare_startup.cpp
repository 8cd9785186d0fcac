// The floor for the player's start-up: the same window, the same shaders compiled and linked,
// and the same first frame; nothing else.
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
    // The same files in the same order as the player reads them. Only the first scene, the one
    // the first frame shows, gets its quad and transform; the others are programs alone.
    std::vector<GLuint> programs;
    Scene first;
    const std::string list = readTextFile("shaders/prog.csv");
    size_t number = 0;
    for (std::string_view text : splitLines(list)) {
        const SceneLine line = readSceneLine(text, "shaders/prog.csv", ++number);
        if (!line.isScene) {
            continue;
        }
        if (first.program == 0) {
            first.instanceCount = line.instanceCount;
            first.duration = line.duration;
            constructScene(first, std::string(line.vertexPath), std::string(line.fragmentPath));
        } else {
            programs.push_back(buildProgram(readTextFile(std::string(line.vertexPath)),
                                            readTextFile(std::string(line.fragmentPath))));
        }
    }
    // A driver compiles for real at the first draw, so the floor draws the same first frame.
    drawScene(first, 0.0);
    glfwSwapBuffers(window);

    for (GLuint program : programs) {
        glDeleteProgram(program);
    }
    glDeleteProgram(first.program);
    glDeleteVertexArrays(1, &first.vertexArray);
    glDeleteBuffers(1, &first.vertexBuffer);
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
