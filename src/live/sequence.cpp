// A live sequence's scenes: built as the renderer builds them, rebuilt when their files change.
#include "live/sequence.h"

#include <glad/gl.h>

#include <malloc.h>

#include <chrono>

#include "frames/command_line.h"
#include "scene/scene_text.h"
#include "scene/shader_log.h"

// The compiler frees what it used for a build into the C library's heap, which keeps most of
// it; handed back after each reload, a long session's resident memory stays where it was.
static void returnFreedMemory() {
    malloc_trim(0);
}

static double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

static void placeLog(std::vector<std::string>& problems, const std::string& file,
                     const BuildStep& step, const char* emptyLog) {
    const std::vector<LogMessage> messages = parseShaderLog(step.log);
    for (const LogMessage& message : messages) {
        problems.push_back(printable(placedMessage(file, message)));
    }
    if (messages.empty()) {
        problems.push_back(printable(file) + ": " + emptyLog);
    }
}

// Builds the scene's program from its files. A scene new to the list takes whatever the driver
// made, as the renderer does, so that its frames match; one that had a program keeps it unless
// the new one links.
static SceneBuild buildScene(LiveScene& live, size_t index, const std::string& file, bool fresh,
                             bool rebuildAll) {
    const auto start = std::chrono::steady_clock::now();
    SceneBuild build{index, file, false, false, true, false, 0.0};
    const bool hadProblems = !live.problems.empty() || !live.unreadable.empty();
    std::string vertexSource, fragmentSource, reason;
    live.unreadable.clear();
    if (!readTextFileQuietly(live.vertexPath, vertexSource, reason)) {
        live.unreadable.push_back(live.vertexPath);
    }
    if (!readTextFileQuietly(live.fragmentPath, fragmentSource, reason)) {
        live.unreadable.push_back(live.fragmentPath);
    }
    Scene& scene = *live.scene;
    build.readable = live.unreadable.empty();
    if (!fresh && !build.readable) {
        build.milliseconds = millisecondsSince(start);
        return build;
    }
    if (!fresh && !rebuildAll && vertexSource == live.vertexSource &&
        fragmentSource == live.fragmentSource) {
        build.linked = live.problems.empty();
        build.cleared = hadProblems && live.problems.empty();
        build.milliseconds = millisecondsSince(start);
        return build;
    }
    live.vertexSource = std::move(vertexSource);
    live.fragmentSource = std::move(fragmentSource);

    build.built = true;
    const GLuint program = buildProgramSilently(live.vertexSource, live.fragmentSource);
    const ProgramReport report = readProgramReport(program);
    build.linked = report.link.succeeded;
    live.problems.clear();
    if (!report.vertex.succeeded && live.unreadable.empty()) {
        placeLog(live.problems, live.vertexPath, report.vertex, "does not compile");
    }
    if (!report.fragment.succeeded && live.unreadable.empty()) {
        placeLog(live.problems, live.fragmentPath, report.fragment, "does not compile");
    }
    if (report.vertex.succeeded && report.fragment.succeeded && !report.link.succeeded) {
        placeLog(live.problems, live.vertexPath + " + " + live.fragmentPath, report.link,
                 "does not link");
    }
    if (fresh) {
        scene.program = program;
        glEnable(GL_DEPTH_TEST);
        uploadSceneTransform(program);
    } else if (build.linked) {
        uploadSceneTransform(program);
        glDeleteProgram(scene.program);
        scene.program = program;
    } else {
        glDeleteProgram(program);
    }
    build.cleared = hadProblems && live.problems.empty() && live.unreadable.empty();
    build.milliseconds = millisecondsSince(start);
    return build;
}

static std::string fileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

ListRead readSequence(LiveSequence& sequence, bool rebuildAll, std::vector<SceneBuild>& builds) {
    const auto start = std::chrono::steady_clock::now();
    ListRead result;
    std::string text, reason;
    const bool readable = readTextFileQuietly(sequence.listPath, text, reason);
    if (!rebuildAll && readable == sequence.listReadable && text == sequence.listText) {
        return result;
    }
    result.changed = true;
    sequence.listReadable = readable;
    sequence.listText = std::move(text);
    sequence.listProblems.clear();
    if (!readable) {
        sequence.listProblems.push_back(sequence.listPath + ": cannot be read");
    }

    // Each line takes the first old scene with the same two files, which keeps its program.
    std::vector<LiveScene*> previous = std::move(sequence.scenes);
    sequence.scenes.clear();
    const std::vector<std::string_view> lines = splitLines(sequence.listText);
    for (size_t number = 1; number <= lines.size(); ++number) {
        const SceneLine line = readSceneLine(lines[number - 1], sequence.listPath, number);
        if (!line.isScene) {
            if (!line.warning.empty()) {
                sequence.listProblems.push_back(line.warning);
            }
            continue;
        }
        LiveScene* live = nullptr;
        for (LiveScene*& candidate : previous) {
            if (candidate && candidate->vertexPath == line.vertexPath &&
                candidate->fragmentPath == line.fragmentPath) {
                live = candidate;
                candidate = nullptr;
                break;
            }
        }
        const bool fresh = live == nullptr;
        if (fresh) {
            live = new LiveScene;
            live->scene = new Scene;
            live->vertexPath = line.vertexPath;
            live->fragmentPath = line.fragmentPath;
            live->vertexName = printable(fileName(live->vertexPath));
            createSceneQuad(*live->scene);
        }
        live->scene->duration = line.duration;
        live->scene->instanceCount = line.instanceCount;
        sequence.scenes.push_back(live);
        const SceneBuild build =
            buildScene(*live, sequence.scenes.size() - 1, "", fresh, rebuildAll);
        result.built += build.built ? 1 : 0;
        result.kept += build.built ? 0 : 1;
        if (build.built || !build.readable || build.cleared) {
            builds.push_back(build);
        }
    }
    for (LiveScene* unused : previous) {
        if (unused) {
            releaseScene(unused->scene);
            delete unused;
        }
    }
    if (readable && sequence.scenes.empty()) {
        sequence.listProblems.push_back(sequence.listPath + ": no scenes");
    }
    returnFreedMemory();
    result.milliseconds = millisecondsSince(start);
    return result;
}

void reloadShaderFile(LiveSequence& sequence, const std::string& path,
                      std::vector<SceneBuild>& builds) {
    for (size_t i = 0; i < sequence.scenes.size(); ++i) {
        LiveScene& live = *sequence.scenes[i];
        if (live.vertexPath == path || live.fragmentPath == path) {
            const SceneBuild build = buildScene(live, i, path, false, false);
            if (build.built || !build.readable || build.cleared) {
                builds.push_back(build);
            }
        }
    }
    returnFreedMemory();
}

std::vector<std::string> problemLines(const LiveSequence& sequence) {
    std::vector<std::string> lines = sequence.listProblems;
    for (size_t i = 0; i < sequence.scenes.size(); ++i) {
        const std::string scene = "scene " + std::to_string(i + 1) + ": ";
        for (const std::string& path : sequence.scenes[i]->unreadable) {
            lines.push_back(scene + path + ": cannot be read");
        }
        for (const std::string& problem : sequence.scenes[i]->problems) {
            lines.push_back(scene + problem);
        }
    }
    return lines;
}

void releaseSequence(LiveSequence& sequence) {
    for (LiveScene* live : sequence.scenes) {
        releaseScene(live->scene);
        delete live;
    }
    sequence.scenes.clear();
}

std::vector<std::string> sequencePaths(const LiveSequence& sequence) {
    std::vector<std::string> paths = {sequence.listPath};
    for (const LiveScene* live : sequence.scenes) {
        paths.push_back(live->vertexPath);
        paths.push_back(live->fragmentPath);
    }
    return paths;
}

std::vector<float> sequenceDurations(const LiveSequence& sequence) {
    std::vector<float> durations;
    for (const LiveScene* live : sequence.scenes) {
        durations.push_back(live->scene->duration);
    }
    return durations;
}
