// The player: plays the scenes of shaders/prog.csv full screen, one after another, by time.
#include <glad/gl.h>

#include <GLFW/glfw3.h>

#include "app/display.h"
#include "scene/scene_list.h"

static const char* const sceneListPath = "shaders/prog.csv";

// Escape asks the loop to end after the current frame; every other key is ignored.
static void onKey(GLFWwindow* window, int key, int /*scancode*/, int action, int /*mods*/) {
    if (action == GLFW_PRESS && key == GLFW_KEY_ESCAPE) {
        glfwSetWindowShouldClose(window, GLFW_TRUE);
    }
}

int main() {
    GLFWwindow* window = createDisplay();
    if (!window) {
        return 1;
    }
    glfwSetKeyCallback(window, onKey);

    // Every scene is built, with all its messages, before anything is drawn.
    SceneList scenes = loadSceneList(sceneListPath);

    // Loading time does not count against the first scene.
    size_t current = 0;
    double sceneStart = glfwGetTime();
    bool closing = glfwWindowShouldClose(window);
    while (!closing && current < scenes.size()) {
        const double elapsed = glfwGetTime() - sceneStart;
        if (drawScene(*scenes[current], elapsed)) {
            // The next scene's clock starts after the draw that ended this one.
            ++current;
            sceneStart = glfwGetTime();
        }
        glfwSwapBuffers(window);
        glfwPollEvents();
        closing = glfwWindowShouldClose(window);
    }

    // Teardown mirrors set-up: scenes, then the window, then the library.
    for (Scene* scene : scenes) {
        releaseScene(scene);
    }
    scenes.clear();
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
