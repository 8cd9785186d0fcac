// What is wrong with a scene, a line each for editors and build logs to jump from: its files, and
// what the driver said of its build (GL-free).
#include "scene/scene_problems.h"

#include <cctype>
#include <cstring>
#include <filesystem>

#include "scene/message_text.h"
#include "scene/scene_text.h"
#include "scene/shader_log.h"

bool hasSource(const ShaderFile& file) {
    return file.readable && file.text.find_first_not_of(" \t\r\n\v\f") != std::string::npos;
}

bool sceneBuilds(const SceneDescription& scene, const ProgramReport& report) {
    return hasSource(scene.vertex) && hasSource(scene.fragment) && report.vertex.succeeded &&
           report.fragment.succeeded && report.link.succeeded;
}

// A relative path that is missing from the working folder but there beside the list: the list
// was given from elsewhere, and its paths are not read from where it is.
static std::string besideTheList(const std::string& listPath, const ShaderFile& file,
                                 const char* folderOption) {
    const std::filesystem::path listFolder = std::filesystem::path(listPath).parent_path();
    std::error_code failure;
    if (file.reason != std::strerror(ENOENT) || file.path.empty() || file.path[0] == '/' ||
        listFolder.empty() || !std::filesystem::is_regular_file(listFolder / file.path, failure)) {
        return "";
    }
    const std::string folder = printable(listFolder.string());
    std::string hint = "; the list's paths are read from the working folder, and " + folder + "/" +
                       printable(file.path) + " is there";
    if (folderOption) {
        hint += " (" + std::string(folderOption) + " " + folder + " works from there)";
    }
    return hint;
}

static void fileProblems(const std::string& listPath, const std::string& place,
                         const ShaderFile& file, const char* folderOption,
                         std::vector<std::string>& problems) {
    const std::string name = std::string(file.stage) + " shader " + printable(file.path);
    if (!file.readable) {
        problems.push_back(place + "cannot read the " + name + ": " + file.reason +
                           besideTheList(listPath, file, folderOption));
    } else if (!hasSource(file)) {
        problems.push_back(place + "the " + name + " is empty");
    }
}

// Whether the first thing in a source, past blanks and comments, is its #version line.
static bool startsWithVersion(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        if (std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
        } else if (text.substr(at, 2) == "//") {
            at = text.find('\n', at);
        } else if (text.substr(at, 2) == "/*") {
            at = text.find("*/", at);
            at = at == std::string_view::npos ? at : at + 2;
        } else {
            return text.substr(at, 8) == "#version";
        }
    }
    return false;
}

static void compileProblems(const ShaderFile& file, const BuildStep& step,
                            std::vector<std::string>& problems) {
    if (!hasSource(file) || step.succeeded) {
        return;
    }
    // The driver's words for these two ("#version must appear on the first line", "syntax
    // error, unexpected NEW_IDENTIFIER") do not say what to change.
    const std::string path = printable(file.path);
    if (startsWithByteOrderMark(file.text)) {
        problems.push_back(path + ":1: the file starts with a UTF-8 byte-order mark, which the "
                                  "driver reads before #version; save it without the mark");
    } else if (!startsWithVersion(file.text)) {
        problems.push_back(path + ":1: no #version line first: a scene's shaders start with "
                                  "'#version 450 core'");
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
                                       const ProgramReport& report, const char* folderOption) {
    const std::string place = printable(listPath) + ":" + std::to_string(scene.listLine) + ": ";
    std::vector<std::string> problems;
    fileProblems(listPath, place, scene.vertex, folderOption, problems);
    fileProblems(listPath, place, scene.fragment, folderOption, problems);
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

static bool isNameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The line of the declaration of a uniform named `name`, 0 when there is none; `initialised`
// tells whether it is given a value there.
static size_t declarationLine(std::string_view text, std::string_view name, bool& initialised) {
    const std::vector<std::string_view> lines = splitLines(text);
    for (size_t index = 0; index < lines.size(); ++index) {
        const std::string_view line = lines[index];
        const size_t uniform = line.find("uniform");
        for (size_t at = line.find(name);
             uniform != std::string_view::npos && at != std::string_view::npos;
             at = line.find(name, at + 1)) {
            const size_t end = at + name.size();
            const bool whole = at > uniform && !isNameCharacter(line[at - 1]) &&
                               (end == line.size() || !isNameCharacter(line[end]));
            if (whole) {
                const size_t rest = line.find_first_not_of(" \t", end);
                initialised = rest != std::string_view::npos && line[rest] == '=';
                return index + 1;
            }
        }
    }
    return 0;
}

std::vector<std::string> sceneWarnings(const SceneDescription& scene,
                                       const std::vector<std::string>& activeUniforms) {
    std::vector<std::string> warnings;
    for (std::string name : activeUniforms) {
        // Arrays are named by their first element.
        if (name.size() > 3 && name.compare(name.size() - 3, 3, "[0]") == 0) {
            name.resize(name.size() - 3);
        }
        if (name == "mvp" || name == "time") {
            continue;
        }
        std::string place = printable(scene.vertex.path) + " or " + printable(scene.fragment.path);
        bool initialised = false;
        for (const ShaderFile* file : {&scene.vertex, &scene.fragment}) {
            const size_t line = declarationLine(file->text, name, initialised);
            if (line > 0) {
                place = printable(file->path) + ":" + std::to_string(line);
                break;
            }
        }
        if (!initialised) {
            warnings.push_back(place + ": uniform " + ::quoted(name) +
                               " is never set (only mvp and time are); it stays 0");
        }
    }
    return warnings;
}
