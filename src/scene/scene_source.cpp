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
    const std::vector<std::string_view> lines = splitLines(list.text);
    for (size_t index = 0; index < lines.size(); ++index) {
        const size_t lineNumber = index + 1;
        const SceneLine line = readSceneLine(lines[index], place, lineNumber);
        for (std::string& problem : sceneLineProblems(lines[index], place, lineNumber)) {
            list.problems.push_back({lineNumber, std::move(problem), !line.isScene});
        }
        if (!line.isScene) {
            continue;
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

std::vector<std::string> listProblemLines(const SceneListDescription& list) {
    std::vector<std::string> lines;
    for (const ListProblem& problem : list.problems) {
        lines.push_back(problem.text);
    }
    if (!listProblem(list).empty()) {
        lines.push_back(listProblem(list));
    }
    return lines;
}
