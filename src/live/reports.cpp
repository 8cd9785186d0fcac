// What the live preview says: a line on standard output per event, printed once the frame that
// follows it is on screen, and every problem on standard error at once.
#include "live/reports.h"

#include <iostream>

#include "live/watch.h"
#include "scene/message_text.h"

// Where a scene is named in a report: its file and number.
static std::string sceneText(const SceneBuild& build, const std::string& file) {
    return printable(file) + " (scene " + std::to_string(build.scene + 1) + ")";
}

static std::string counted(size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The files a failed build is the fault of: those that cannot be read or do not compile, or the
// pair that does not link. Not always the one just saved.
static std::string blamedFiles(const LiveScene& live) {
    const SceneDescription& scene = live.description;
    std::string blamed;
    const std::pair<const ShaderFile*, const BuildStep*> stages[] = {
        {&scene.vertex, &live.report.vertex}, {&scene.fragment, &live.report.fragment}};
    for (const auto& [file, step] : stages) {
        if (!hasSource(*file) || !step->succeeded) {
            blamed += (blamed.empty() ? "" : " and ") + printable(file->path);
        }
    }
    return blamed.empty() ? printable(scene.vertex.path) + " with " + printable(scene.fragment.path)
                          : blamed;
}

void reportBuilds(const LiveSequence& sequence, const std::vector<SceneBuild>& builds,
                  size_t shownScene, double seenAt, std::vector<Report>& reports) {
    for (const SceneBuild& build : builds) {
        const LiveScene& live = *sequence.scenes[build.scene];
        if (!build.readable || (build.built && !build.linked)) {
            for (const std::string& problem : live.problems) {
                std::cerr << problem << std::endl;
            }
        }
        if (build.built && build.linked) {
            for (const std::string& warning : live.warnings) {
                std::cerr << warning << std::endl;
            }
        }
        if (build.file.empty()) {
            continue; // a list read is summed up in a line of its own
        }
        const std::string where = sceneText(build, build.file);
        const std::string cleared = build.cleared ? "; its problems are cleared" : "";
        if (!build.readable) {
            reports.push_back(
                {"Cannot read " + where + "; the last good program stays", "", 0, false});
        } else if (!build.linked) {
            const std::string blamed = blamedFiles(live);
            const std::string saved =
                blamed == printable(build.file) ? "" : ", after a save of " + printable(build.file);
            reports.push_back({"Failed " + blamed + " (scene " + std::to_string(build.scene + 1) +
                                   ")" + saved + " in " + millisecondsText(build.milliseconds) +
                                   ": " + counted(live.problems.size(), "problem", "problems") +
                                   "; the last good program stays",
                               "", 0, false});
        } else if (!build.built) {
            reports.push_back({"Unchanged " + where, cleared, 0, false});
        } else {
            reports.push_back({"Reloaded " + where + " in " + millisecondsText(build.milliseconds),
                               cleared, seenAt, build.scene == shownScene});
        }
    }
}

void reportList(const LiveSequence& sequence, const ListRead& read, const char* verb,
                std::vector<Report>& reports) {
    for (const ListProblem& problem : sequence.listProblems) {
        std::cerr << problem.text << std::endl;
    }
    const std::string list = printable(sequence.listPath);
    const size_t count = sequence.scenes.size();
    std::string line;
    if (!sequence.listReadable) {
        line = "Cannot read " + list + ": the timeline is empty until it is written";
    } else if (count == 0) {
        line = list + " makes no scenes: the timeline is empty until it is written";
    } else {
        line = std::string(verb) + " " + list + " in " + millisecondsText(read.milliseconds) +
               ": " + counted(count, "scene", "scenes") + ", " + std::to_string(read.built) +
               " built, " + std::to_string(read.failed) + " failed, " + std::to_string(read.kept) +
               " unchanged";
    }
    reports.push_back({line, "", 0, false});
}

void printReports(std::vector<Report>& reports) {
    for (const Report& report : reports) {
        std::cout << report.line;
        if (report.onScreen) {
            std::cout << ", on screen "
                      << millisecondsText((steadySeconds() - report.seenAt) * 1000.0)
                      << " after the save was seen";
        }
        std::cout << report.ending << std::endl;
    }
    reports.clear();
}
