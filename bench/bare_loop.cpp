// The floor for the player's frame loop: the same window and the first scene of the list, drawn
// with the player's per-frame calls and nothing else, until the probe ends it.
#include <glad/gl.h>

#include <GLFW/glfw3.h>

#include "app/display.h"
#include "scene/scene_list.h"

int main() {
    GLFWwindow* window = createDisplay();
    if (!window) {
        return 1;
    }
    SceneList scenes = loadSceneList("shaders/prog.csv");
    if (scenes.empty()) {
        return 1;
    }
    const Scene& scene = *scenes.front();
    const double start = glfwGetTime();
    while (!glfwWindowShouldClose(window)) {
        const GLint time = glGetUniformLocation(scene.program, "time");
        if (time != -1) {
            glUseProgram(scene.program);
            glUniform1f(time, static_cast<float>(glfwGetTime() - start));
        }
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glUseProgram(scene.program);
        glBindVertexArray(scene.vertexArray);
        glDrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, scene.instanceCount);
        glfwSwapBuffers(window);
        glfwPollEvents();
    }
    for (Scene* each : scenes) {
        releaseScene(each);
    }
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
