// The renderer's scenes: built from the list as the player builds them, with every problem found on
// the way, each on a line of its own that editors and build logs can jump from.
#include "render/scene_check.h"

#include <iostream>

#include "scene/scene_text.h"
#include "scene/shader_log.h"

namespace {

struct Stage {
    const char* name;
    const std::string& path;
    const BuildStep& build;
    std::string source;
    bool readable = false;
};

// A shader file that cannot be read or holds nothing is said so once, in the list, where it is
// named; what the compiler makes of the empty text would only repeat it.
void readStage(Stage& stage, const std::string& place, bool playerMessages,
               std::vector<std::string>& problems) {
    std::string reason;
    if (!readTextFileQuietly(stage.path, stage.source, reason)) {
        if (playerMessages) {
            reportUnreadableFile(stage.path);
        }
        problems.push_back(place + "cannot read the " + stage.name + " shader " +
                           printable(stage.path) + ": " + reason);
    } else if (stage.source.find_first_not_of(" \t\r\n\v\f") == std::string::npos) {
        problems.push_back(place + "the " + std::string(stage.name) + " shader " +
                           printable(stage.path) + " is empty");
    } else {
        stage.readable = true;
    }
}

void compileProblems(const Stage& stage, std::vector<std::string>& problems) {
    if (!stage.readable || stage.build.succeeded) {
        return;
    }
    const std::vector<LogMessage> messages = parseShaderLog(stage.build.log);
    if (messages.empty()) {
        problems.push_back(printable(stage.path) +
                           ": does not compile, and the driver says no more");
    }
    for (const LogMessage& message : messages) {
        problems.push_back(printable(placedMessage(stage.path, message)));
    }
}

} // namespace

CheckedSceneList loadCheckedSceneList(const std::string& path, bool playerMessages) {
    CheckedSceneList list;
    std::string content, reason;
    list.readable = readTextFileQuietly(path, content, reason);
    if (!list.readable) {
        if (playerMessages) {
            reportUnreadableFile(path);
        }
        return list;
    }
    const std::vector<std::string_view> lines = splitLines(content);
    for (size_t index = 0; index < lines.size(); ++index) {
        const size_t lineNumber = index + 1;
        for (std::string& problem : sceneLineProblems(lines[index], printable(path), lineNumber)) {
            list.problems.push_back({std::move(problem), std::nullopt});
        }
        const SceneLine line = readSceneLine(lines[index], path, lineNumber);
        if (!line.isScene) {
            continue;
        }
        SceneOrigin origin{lineNumber, std::string(line.vertexPath), std::string(line.fragmentPath),
                           true};
        const std::string place = printable(path) + ":" + std::to_string(lineNumber) + ": ";
        std::vector<std::string> problems;
        ProgramReport report;
        Stage vertex{"vertex", origin.vertexPath, report.vertex, "", false};
        Stage fragment{"fragment", origin.fragmentPath, report.fragment, "", false};
        // Both files are read before either is compiled, as the player does.
        readStage(vertex, place, playerMessages, problems);
        readStage(fragment, place, playerMessages, problems);

        Scene* scene = new Scene;
        scene->duration = line.duration;
        scene->instanceCount = line.instanceCount;
        constructSceneFromSources(*scene, vertex.source, fragment.source, playerMessages);
        list.scenes.push_back(scene);
        report = readProgramReport(scene->program);
        compileProblems(vertex, problems);
        compileProblems(fragment, problems);
        // A link that fails after a failed compile has nothing new to say.
        const bool compiled = vertex.readable && fragment.readable && report.vertex.succeeded &&
                              report.fragment.succeeded;
        if (compiled && !report.link.succeeded) {
            const std::string linking = place + "linking " + printable(origin.vertexPath) +
                                        " with " + printable(origin.fragmentPath) + ": ";
            const std::vector<LogMessage> messages = parseShaderLog(report.link.log);
            if (messages.empty()) {
                problems.push_back(linking + "fails, and the driver says no more");
            }
            for (const LogMessage& message : messages) {
                problems.push_back(linking + printable(message.text));
            }
        }
        origin.builds = compiled && report.link.succeeded;
        for (std::string& problem : problems) {
            list.problems.push_back({std::move(problem), list.origins.size()});
        }
        list.origins.push_back(origin);
        if (playerMessages) {
            std::cout << loadedSceneLine(line.vertexPath, line.fragmentPath, line.instanceCount,
                                         line.duration)
                      << std::endl;
        }
    }
    return list;
}
