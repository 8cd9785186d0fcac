// Builds the scenes a scene list describes, in list order, with the player's messages on the way.
#pragma once

#include <string>
#include <vector>

#include "scene/scene.h"
#include "scene/scene_problems.h"
#include "scene/scene_source.h"

// What is printed while the scenes are built: nothing, or what the player prints (the files that
// cannot be opened, the driver's logs, a "Loaded scene (" line a scene), with or without the
// warnings for lines too short to be scenes.
enum class LoadMessages { none, player, playerWithoutShortLines };

// Constructs every described scene, in list order; reports holds what the driver said of each.
SceneList buildSceneList(const SceneListDescription& list, LoadMessages messages,
                         std::vector<ProgramReport>& reports);

// The player's loader: reads the tab-separated list at path and every shader it names, and
// constructs the scenes in file order, printing as it goes.
SceneList loadSceneList(const std::string& path);
