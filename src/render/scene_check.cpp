// The renderer's scenes: built from the list on the road every program takes, with every problem
// found on the way, each on a line of its own that editors and build logs can jump from.
#include "render/scene_check.h"

#include <cmath>
#include <cstdio>

#include "frames/frame_clock.h"
#include "frames/soundtrack.h"
#include "scene/message_text.h"
#include "scene/program.h"
#include "scene/scene_list.h"

CheckedSceneList loadCheckedSceneList(const std::string& path, bool playerMessages) {
    const SceneListDescription described = describeSceneList(path);
    CheckedSceneList list;
    list.readable = described.readable;
    list.listProblem = listProblem(described);
    std::vector<ProgramReport> reports;
    list.scenes = buildSceneList(
        described, playerMessages ? LoadMessages::playerWithoutShortLines : LoadMessages::none,
        reports);
    // In the order of the list: a line's own problems, then those of the scene it makes.
    size_t nextListProblem = 0;
    auto listProblemsUpTo = [&](size_t line) {
        for (; nextListProblem < described.problems.size() &&
               described.problems[nextListProblem].listLine <= line;
             ++nextListProblem) {
            const ListProblem& problem = described.problems[nextListProblem];
            list.problems.push_back({problem.text, std::nullopt, problem.warning});
        }
    };
    for (size_t i = 0; i < described.scenes.size(); ++i) {
        const SceneDescription& scene = described.scenes[i];
        listProblemsUpTo(scene.listLine);
        for (std::string& problem : sceneProblems(path, scene, reports[i], "-C")) {
            list.problems.push_back({std::move(problem), i, false});
        }
        const bool builds = sceneBuilds(scene, reports[i]);
        if (builds) {
            const std::vector<std::string> uniforms = activeUniformNames(list.scenes[i]->program);
            for (std::string& warning : sceneWarnings(scene, uniforms)) {
                list.problems.push_back({std::move(warning), i, true});
            }
        }
        list.origins.push_back({scene.listLine, scene.vertex.path, scene.fragment.path, builds});
    }
    listProblemsUpTo(SIZE_MAX);
    return list;
}

// Off the beat by more than this, beyond the nearest frame's own distance, a cut is heard late.
static const double beatTolerance = 0.003;

static std::string secondsAt(double seconds, const char* format = "%.3f") {
    char text[32];
    std::snprintf(text, sizeof text, format, seconds);
    return text;
}

std::vector<Problem> musicProblems(const CheckedSceneList& list, const std::string& listPath,
                                   double fps, const std::string& soundtrackPath,
                                   const MusicGrid& grid) {
    std::vector<Problem> problems;
    std::vector<float> durations;
    for (const Scene* scene : list.scenes) {
        durations.push_back(scene->duration);
    }
    const std::vector<int64_t> endFrames = sceneEndFrames(durations, fps);
    const int64_t frames = sequenceFrameCount(endFrames);
    if (!soundtrackPath.empty()) {
        Soundtrack soundtrack;
        std::string error;
        const double sequence = static_cast<double>(frames) / fps;
        if (!loadSoundtrack(soundtrackPath, soundtrack, error)) {
            problems.push_back({error, std::nullopt, false});
        } else if (frames != neverEnds && soundtrackSeconds(soundtrack) < sequence) {
            problems.push_back({printable(soundtrackPath) + ": the soundtrack is " +
                                    secondsAt(soundtrackSeconds(soundtrack)) +
                                    " s long, the sequence " + secondsAt(sequence) +
                                    " s: its end plays in silence",
                                std::nullopt, true});
        }
    }
    if (grid.bpm <= 0.0) {
        return problems;
    }
    for (const OffBeatScene& off : offBeatScenes(grid, endFrames, fps, beatTolerance)) {
        const SceneOrigin& origin = list.origins[off.scene];
        const std::string when = secondsAt(std::abs(off.offset) * 1000.0, "%.0f") + " ms " +
                                 (off.offset > 0 ? "after" : "before") + " beat " +
                                 std::to_string(off.beat + 1) + " (bar " +
                                 std::to_string(off.beat / grid.beatsPerBar + 1) + ")";
        problems.push_back({printable(listPath) + ":" + std::to_string(origin.listLine) +
                                ": scene " + std::to_string(off.scene + 1) + " starts at " +
                                secondsAt(off.start) + " s, " + when + "; a duration of " +
                                secondsAt(off.suggestedDuration, "%.6g") + " s for scene " +
                                std::to_string(off.scene) + " puts it on the beat at " +
                                secondsAt(fps, "%g") + " fps",
                            off.scene, true});
    }
    return problems;
}
