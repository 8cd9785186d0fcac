// Loads the scene list: one scene per line, four tab-separated fields.
#include <iostream>

#include "scene/scene.h"
#include "scene/scene_text.h"

SceneList loadSceneList(const std::string& path) {
    const std::string content = readTextFile(path);
    const std::vector<std::string_view> lines = splitLines(content);

    // Each scene is built, with its messages, before the next line is read.
    SceneList scenes;
    for (size_t index = 0; index < lines.size(); ++index) {
        const SceneLine line = readSceneLine(lines[index], path, index + 1);
        if (!line.isScene) {
            if (!line.warning.empty()) {
                std::cerr << line.warning << std::endl;
            }
            continue;
        }
        Scene* scene = new Scene;
        scene->duration = line.duration;
        scene->instanceCount = line.instanceCount;
        constructScene(*scene, std::string(line.vertexPath), std::string(line.fragmentPath));
        scenes.push_back(scene);

        std::cout << loadedSceneLine(line.vertexPath, line.fragmentPath, line.instanceCount,
                                     line.duration)
                  << std::endl;
    }
    return scenes;
}
