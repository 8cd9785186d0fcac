// What is wrong with a scene, a line each for editors and build logs to jump from: its files, and
// what the driver said of its build (GL-free).
#include "scene/scene_problems.h"

#include "scene/message_text.h"
#include "scene/shader_log.h"

bool hasSource(const ShaderFile& file) {
    return file.readable && file.text.find_first_not_of(" \t\r\n\v\f") != std::string::npos;
}

bool sceneBuilds(const SceneDescription& scene, const ProgramReport& report) {
    return hasSource(scene.vertex) && hasSource(scene.fragment) && report.vertex.succeeded &&
           report.fragment.succeeded && report.link.succeeded;
}

static void fileProblems(const std::string& place, const ShaderFile& file,
                         std::vector<std::string>& problems) {
    const std::string name = std::string(file.stage) + " shader " + printable(file.path);
    if (!file.readable) {
        problems.push_back(place + "cannot read the " + name + ": " + file.reason);
    } else if (!hasSource(file)) {
        problems.push_back(place + "the " + name + " is empty");
    }
}

static void compileProblems(const ShaderFile& file, const BuildStep& step,
                            std::vector<std::string>& problems) {
    if (!hasSource(file) || step.succeeded) {
        return;
    }
    const std::vector<LogMessage> messages = parseShaderLog(step.log);
    if (messages.empty()) {
        problems.push_back(printable(file.path) +
                           ": does not compile, and the driver says no more");
    }
    for (const LogMessage& message : messages) {
        problems.push_back(printable(placedMessage(file.path, message)));
    }
}

std::vector<std::string> sceneProblems(const std::string& listPath, const SceneDescription& scene,
                                       const ProgramReport& report) {
    const std::string place = printable(listPath) + ":" + std::to_string(scene.listLine) + ": ";
    std::vector<std::string> problems;
    fileProblems(place, scene.vertex, problems);
    fileProblems(place, scene.fragment, problems);
    compileProblems(scene.vertex, report.vertex, problems);
    compileProblems(scene.fragment, report.fragment, problems);
    // A link that fails after a failed compile has nothing new to say.
    const bool compiled = hasSource(scene.vertex) && hasSource(scene.fragment) &&
                          report.vertex.succeeded && report.fragment.succeeded;
    if (compiled && !report.link.succeeded) {
        const std::string linking = place + "linking " + printable(scene.vertex.path) + " with " +
                                    printable(scene.fragment.path) + ": ";
        const std::vector<LogMessage> messages = parseShaderLog(report.link.log);
        if (messages.empty()) {
            problems.push_back(linking + "fails, and the driver says no more");
        }
        for (const LogMessage& message : messages) {
            problems.push_back(linking + printable(message.text));
        }
    }
    return problems;
}
