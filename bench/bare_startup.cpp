// The floor for the player's start-up: the same window, the same shaders compiled and linked,
// and the same first frame; nothing else.
#include <glad/gl.h>

#include <GLFW/glfw3.h>

#include "app/display.h"
#include "scene/construct.h"
#include "scene/program.h"
#include "scene/scene_source.h"

int main() {
    GLFWwindow* window = createDisplay();
    if (!window) {
        return 1;
    }
    // The same files in the same order as the player reads them. Only the first scene, the one
    // the first frame shows, gets its quad and transform; the others are programs alone.
    std::vector<GLuint> programs;
    Scene first;
    const SceneListDescription list = describeSceneList("shaders/prog.csv");
    for (const SceneDescription& scene : list.scenes) {
        ProgramReport report;
        if (first.program == 0) {
            first.instanceCount = scene.instanceCount;
            first.duration = scene.duration;
            constructScene(first, scene, true);
        } else {
            programs.push_back(buildProgram(scene.vertex.text, scene.fragment.text, true, report));
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
