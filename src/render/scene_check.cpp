// The renderer's scenes: built from the list on the road every program takes, with every problem
// found on the way, each on a line of its own that editors and build logs can jump from.
#include "render/scene_check.h"

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
