// Gives a scene its quad, vertex layout, program and fixed transform.
#pragma once

#include <cstdint>

#include "scene/scene.h"
#include "scene/scene_problems.h"
#include "scene/scene_source.h"

// The quad's buffer and the vertex array that describes it.
void createSceneQuad(Scene& scene);
// Makes `program` the scene's: depth testing on, the fixed transform uploaded once, and the
// program the scene had before, if any, deleted.
void installSceneProgram(Scene& scene, uint32_t program);
// The whole construction from a description whose files have been read: the quad, the program
// built from the two sources (printLogs: the player's messages on the way), and the transform.
ProgramReport constructScene(Scene& scene, const SceneDescription& description, bool printLogs);
