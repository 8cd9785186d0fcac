// A live sequence's scenes: built on the road every program takes, rebuilt when their files change.
#include "live/sequence.h"

#include <glad/gl.h>

#include <malloc.h>

#include <chrono>

#include "scene/construct.h"
#include "scene/message_text.h"
#include "scene/program.h"

// The compiler frees what it used for a build into the C library's heap, which keeps most of
// it; handed back after each reload, a long session's resident memory stays where it was.
static void returnFreedMemory() {
    malloc_trim(0);
}

static double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Builds the scene's program from its files as last read. A scene new to the list takes whatever
// the driver made, as the renderer does, so that its frames match; one that had a program keeps
// it unless the new one links.
static SceneBuild buildScene(const std::string& listPath, LiveScene& live, size_t index,
                             const std::string& file, bool fresh, bool rebuildAll) {
    const auto start = std::chrono::steady_clock::now();
    SceneBuild build{index, file, false, false, true, false, 0.0};
    const bool hadProblems = !live.problems.empty();
    const SceneDescription& description = live.description;
    build.readable = description.vertex.readable && description.fragment.readable;
    const bool unchanged = description.vertex.text == live.builtVertex &&
                           description.fragment.text == live.builtFragment;
    if (!fresh && (!build.readable || (unchanged && !rebuildAll))) {
        // Nothing to build: the last build's verdict stands, and the files say what is new.
        live.problems =
            sceneProblems(listPath, description, build.readable ? live.report : ProgramReport{});
        build.linked = build.readable && live.report.link.succeeded;
        build.cleared = hadProblems && live.problems.empty();
        build.milliseconds = millisecondsSince(start);
        return build;
    }
    live.builtVertex = description.vertex.text;
    live.builtFragment = description.fragment.text;

    build.built = true;
    ProgramReport report;
    const GLuint program = buildProgram(live.builtVertex, live.builtFragment, false, report);
    build.linked = report.link.succeeded;
    live.problems = sceneProblems(listPath, description, report);
    live.report = report;
    if (fresh || build.linked) {
        live.warnings = sceneWarnings(description, activeUniformNames(program));
        installSceneProgram(*live.scene, program);
    } else {
        glDeleteProgram(program);
    }
    build.cleared = hadProblems && live.problems.empty();
    build.milliseconds = millisecondsSince(start);
    return build;
}

static std::string fileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Only what the report lines mention is handed back: builds, failures and clearances.
static void keepBuild(const SceneBuild& build, std::vector<SceneBuild>& builds) {
    if (build.built || !build.readable || build.cleared) {
        builds.push_back(build);
    }
}

ListRead readSequence(LiveSequence& sequence, bool rebuildAll, std::vector<SceneBuild>& builds) {
    const auto start = std::chrono::steady_clock::now();
    ListRead result;
    SceneListDescription list = describeSceneList(sequence.listPath);
    if (!rebuildAll && list.readable == sequence.listReadable && list.text == sequence.listText) {
        return result;
    }
    result.changed = true;
    sequence.listReadable = list.readable;
    sequence.listText = list.text;
    sequence.listProblems = list.problems;
    if (!listProblem(list).empty()) {
        sequence.listProblems.push_back({0, listProblem(list), false, false});
    }

    // Each line takes the first old scene with the same two files, which keeps its program.
    std::vector<LiveScene*> previous = std::move(sequence.scenes);
    sequence.scenes.clear();
    for (SceneDescription& description : list.scenes) {
        LiveScene* live = nullptr;
        for (LiveScene*& candidate : previous) {
            if (candidate && candidate->description.vertex.path == description.vertex.path &&
                candidate->description.fragment.path == description.fragment.path) {
                live = candidate;
                candidate = nullptr;
                break;
            }
        }
        const bool fresh = live == nullptr;
        if (fresh) {
            live = new LiveScene;
            live->scene = new Scene;
            live->vertexName = printable(fileName(description.vertex.path));
            createSceneQuad(*live->scene);
        }
        live->scene->duration = description.duration;
        live->scene->instanceCount = description.instanceCount;
        live->description = std::move(description);
        sequence.scenes.push_back(live);
        const SceneBuild build =
            buildScene(sequence.listPath, *live, sequence.scenes.size() - 1, "", fresh, rebuildAll);
        result.built += build.built && build.linked ? 1 : 0;
        result.failed += !build.linked ? 1 : 0;
        result.kept += !build.built && build.linked ? 1 : 0;
        keepBuild(build, builds);
    }
    for (LiveScene* unused : previous) {
        if (unused) {
            releaseScene(unused->scene);
            delete unused;
        }
    }
    returnFreedMemory();
    result.milliseconds = millisecondsSince(start);
    return result;
}

void reloadShaderFile(LiveSequence& sequence, const std::string& path,
                      std::vector<SceneBuild>& builds) {
    for (size_t i = 0; i < sequence.scenes.size(); ++i) {
        LiveScene& live = *sequence.scenes[i];
        if (live.description.vertex.path == path || live.description.fragment.path == path) {
            readShaderFiles(live.description);
            keepBuild(buildScene(sequence.listPath, live, i, path, false, false), builds);
        }
    }
    returnFreedMemory();
}

std::vector<PanelLine> problemLines(const LiveSequence& sequence) {
    std::vector<PanelLine> lines;
    for (const ListProblem& problem : sequence.listProblems) {
        lines.push_back({problem.text, problem.warning});
    }
    for (size_t i = 0; i < sequence.scenes.size(); ++i) {
        const std::string scene = "scene " + std::to_string(i + 1) + ": ";
        for (const std::string& problem : sequence.scenes[i]->problems) {
            lines.push_back({scene + problem, false});
        }
        for (const std::string& warning : sequence.scenes[i]->warnings) {
            lines.push_back({scene + warning, true});
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
        paths.push_back(live->description.vertex.path);
        paths.push_back(live->description.fragment.path);
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
