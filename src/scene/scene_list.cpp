// Builds the scenes a scene list describes, in list order, with the player's messages on the way.
#include "scene/scene_list.h"

#include <iostream>

#include "scene/construct.h"
#include "scene/scene_text.h"
#include "scene/text_file.h"

// The short-line warnings of the lines before `line` that have not been printed yet.
static void printShortLines(const SceneListDescription& list, size_t line, size_t& printed) {
    for (; printed < list.problems.size() && list.problems[printed].listLine < line; ++printed) {
        if (list.problems[printed].shortLine) {
            std::cerr << list.problems[printed].text << std::endl;
        }
    }
}

SceneList buildSceneList(const SceneListDescription& list, LoadMessages messages,
                         std::vector<ProgramReport>& reports) {
    const bool talk = messages != LoadMessages::none;
    const bool shortLines = messages == LoadMessages::player;
    if (talk && !list.readable) {
        reportUnreadableFile(list.path);
    }
    // Each scene's messages come before its "Loaded scene (" line, the lines in file order.
    SceneList scenes;
    size_t printed = 0;
    for (const SceneDescription& description : list.scenes) {
        if (shortLines) {
            printShortLines(list, description.listLine, printed);
        }
        for (const ShaderFile* file : {&description.vertex, &description.fragment}) {
            if (talk && !file->readable) {
                reportUnreadableFile(file->path);
            }
        }
        Scene* scene = new Scene;
        scene->duration = description.duration;
        scene->instanceCount = description.instanceCount;
        reports.push_back(constructScene(*scene, description, talk));
        scenes.push_back(scene);
        if (talk) {
            std::cout << loadedSceneLine(description.vertex.path, description.fragment.path,
                                         description.instanceCount, description.duration)
                      << std::endl;
        }
    }
    if (shortLines) {
        printShortLines(list, SIZE_MAX, printed);
    }
    return scenes;
}

SceneList loadSceneList(const std::string& path) {
    std::vector<ProgramReport> reports;
    return buildSceneList(describeSceneList(path), LoadMessages::player, reports);
}
