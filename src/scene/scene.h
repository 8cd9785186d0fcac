// The scene record: the OpenGL objects that draw one scene, its release and its per-frame draw.
#pragma once

#include <cstdint>
#include <vector>

// One scene of the sequence: the OpenGL objects that draw it and the two numbers the list gives.
struct Scene {
    uint32_t vertexBuffer = 0;
    uint32_t vertexArray = 0;
    uint32_t program = 0;
    bool finished = false;
    float duration = 0.0f;
    int32_t instanceCount = 0;
};

// Scenes in file order, each allocated on its own and owned by the list until released.
using SceneList = std::vector<Scene*>;

// Deletes the scene's program, vertex array and buffer, in that order, then frees the record.
void releaseScene(Scene* scene);

// One frame of a scene: feeds it the elapsed seconds, clears and draws its instances.
// Sets and returns the scene's finished flag.
bool drawScene(Scene& scene, double elapsed);
