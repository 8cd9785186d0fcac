// Gives a scene its quad, vertex layout, program and fixed transform.
#include "scene/construct.h"

#include <glad/gl.h>

#include <cstdint>

#include "scene/program.h"
#include "scene/transform.h"

// A unit quad as a triangle strip: position xyzw, direction xyz, texture coordinate uv.
static const float quad[4][9] = {
    {-1.0f, -1.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f},
    {1.0f, -1.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f},
    {-1.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f},
    {1.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f},
};

// The vertex inputs every scene's shaders see.
struct VertexAttribute {
    GLuint location;
    GLint components;
    uintptr_t offset;
};
static const VertexAttribute vertexAttributes[] = {
    {0, 4, 0},  // position
    {1, 3, 16}, // direction
    {2, 2, 28}, // texture coordinate
};
static const GLsizei vertexStride = sizeof quad[0];

void createSceneQuad(Scene& scene) {
    // Immutable storage, filled once.
    glCreateBuffers(1, &scene.vertexBuffer);
    glNamedBufferStorage(scene.vertexBuffer, sizeof quad, nullptr, GL_DYNAMIC_STORAGE_BIT);
    glNamedBufferSubData(scene.vertexBuffer, 0, sizeof quad, quad);

    // The array-buffer binding is left as it is; only the vertex array is unbound.
    glCreateVertexArrays(1, &scene.vertexArray);
    glBindVertexArray(scene.vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, scene.vertexBuffer);
    for (const VertexAttribute& attribute : vertexAttributes) {
        glEnableVertexAttribArray(attribute.location);
        glVertexAttribPointer(attribute.location, attribute.components, GL_FLOAT, GL_FALSE,
                              vertexStride, reinterpret_cast<const void*>(attribute.offset));
    }
    glBindVertexArray(0);
}

void installSceneProgram(Scene& scene, uint32_t program) {
    glEnable(GL_DEPTH_TEST);
    // The transform is uploaded once per program and never again.
    const Matrix4 mvp = sceneTransform();
    const GLint mvpLocation = glGetUniformLocation(program, "mvp");
    if (mvpLocation != -1) {
        glUseProgram(program);
        glUniformMatrix4fv(mvpLocation, 1, GL_FALSE, mvp.data());
    }
    if (scene.program != 0) {
        glDeleteProgram(scene.program);
    }
    scene.program = program;
}

ProgramReport constructScene(Scene& scene, const SceneDescription& description, bool printLogs) {
    createSceneQuad(scene);
    ProgramReport report;
    const uint32_t program =
        buildProgram(description.vertex.text, description.fragment.text, printLogs, report);
    installSceneProgram(scene, program);
    return report;
}
