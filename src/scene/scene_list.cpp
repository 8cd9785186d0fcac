// Loads the scene list: one scene per line, four tab-separated fields.
#include <iostream>

#include "scene/scene.h"
#include "scene/scene_text.h"

SceneList loadSceneList(const std::string& path) {
    const std::string content = readTextFile(path);
    const std::vector<std::string_view> lines = splitLines(content);

    SceneList scenes;
    for (size_t index = 0; index < lines.size(); ++index) {
        const std::vector<std::string_view> fields = splitFields(lines[index]);
        if (fields.size() < 4) {
            // Blank lines separate nothing and pass silently; anything else is a mistake the
            // author should hear about, most often spaces typed where tabs belong.
            if (!isBlankLine(lines[index])) {
                std::cerr << shortLineWarning(path, index + 1, fields.size()) << std::endl;
            }
            continue;
        }
        const int32_t instanceCount = parseInstanceCount(fields[2]);
        const float duration = parseDuration(fields[3]);

        Scene* scene = new Scene;
        scene->duration = duration;
        scene->instanceCount = instanceCount;
        constructScene(*scene, std::string(fields[0]), std::string(fields[1]));
        scenes.push_back(scene);

        std::cout << loadedSceneLine(fields[0], fields[1], instanceCount, duration) << std::endl;
    }
    return scenes;
}
