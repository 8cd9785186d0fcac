// The scene list and the shader files it names, read into scene descriptions with the problems
// found on the way: the one reading of a list that every program shares (GL-free).
#include "scene/scene_source.h"

#include <filesystem>

#include "scene/message_text.h"
#include "scene/scene_text.h"
#include "scene/text_file.h"

static void readShaderFile(ShaderFile& file) {
    file.reason.clear();
    file.readable = readTextFileQuietly(file.path, file.text, file.reason);
}

void readShaderFiles(SceneDescription& scene) {
    readShaderFile(scene.vertex);
    readShaderFile(scene.fragment);
}

void describeListText(SceneListDescription& list) {
    list.scenes.clear();
    list.problems.clear();
    const std::string place = printable(list.path);
    // Some editors start a UTF-8 file with a byte-order mark; the player reads it as part of the
    // first path, so the file that line names is never found.
    if (startsWithByteOrderMark(list.text)) {
        list.problems.push_back({1,
                                 place + ":1: the list starts with a UTF-8 byte-order mark, "
                                         "which is read as part of the first path; save the "
                                         "list without it",
                                 false, false});
    }
    const std::vector<std::string_view> lines = splitLines(list.text);
    for (size_t index = 0; index < lines.size(); ++index) {
        const size_t lineNumber = index + 1;
        const SceneLine line = readSceneLine(lines[index], place, lineNumber);
        for (std::string& problem : sceneLineProblems(lines[index], place, lineNumber)) {
            list.problems.push_back({lineNumber, std::move(problem), !line.isScene, false});
        }
        if (!line.isScene) {
            continue;
        }
        // A count out of range is said so already.
        if (line.instanceCount > largestSensibleInstanceCount &&
            instanceCountProblem(splitFields(lines[index])[2]).empty()) {
            list.problems.push_back(
                {lineNumber,
                 place + ":" + std::to_string(lineNumber) + ": " +
                     std::to_string(line.instanceCount) + " instances are more than " +
                     std::to_string(largestSensibleInstanceCount) +
                     ": each frame draws the quad that often, which can take seconds",
                 false, true});
        }
        SceneDescription scene;
        scene.listLine = lineNumber;
        scene.vertex.path = line.vertexPath;
        scene.fragment.path = line.fragmentPath;
        scene.instanceCount = line.instanceCount;
        scene.duration = line.duration;
        list.scenes.push_back(std::move(scene));
    }
}

SceneListDescription describeSceneList(const std::string& path) {
    SceneListDescription list;
    list.path = path;
    list.readable = readTextFileQuietly(path, list.text, list.reason);
    describeListText(list);
    for (SceneDescription& scene : list.scenes) {
        readShaderFiles(scene);
    }
    return list;
}

std::string listProblem(const SceneListDescription& list) {
    if (!list.readable) {
        std::string problem =
            "cannot read the scene list " + printable(list.path) + ": " + list.reason;
        // A relative path is read from the working folder, which is not always where one thinks.
        std::error_code failure;
        const std::filesystem::path here = std::filesystem::current_path(failure);
        if (!list.path.empty() && list.path[0] != '/' && !failure) {
            problem += ", looked for in " + printable(here.string());
        }
        return problem;
    }
    return list.scenes.empty() ? printable(list.path) + ": the list makes no scene" : "";
}
