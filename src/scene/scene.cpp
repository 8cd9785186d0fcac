// The scene record's release and the per-frame draw that every program shares.
#include "scene/scene.h"

#include <glad/gl.h>

#include "scene/scene_text.h"

void releaseScene(Scene* scene) {
    glDeleteProgram(scene->program);
    glDeleteVertexArrays(1, &scene->vertexArray);
    glDeleteBuffers(1, &scene->vertexBuffer);
    delete scene;
}

bool drawScene(Scene& scene, double elapsed) {
    // The location is looked up every frame: a program that failed to link yields -1 here.
    const GLint timeLocation = glGetUniformLocation(scene.program, "time");
    if (timeLocation != -1) {
        glUseProgram(scene.program);
        glUniform1f(timeLocation, static_cast<float>(elapsed));
    }
    scene.finished = sceneTimeIsUp(elapsed, scene.duration);

    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glUseProgram(scene.program);
    glBindVertexArray(scene.vertexArray);
    glDrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, scene.instanceCount);
    return scene.finished;
}
