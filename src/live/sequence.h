// A live sequence's scenes: built on the road every program takes, rebuilt when their files change.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "scene/scene_problems.h"
#include "scene/scene_source.h"

struct LiveScene {
    Scene* scene = nullptr;
    // The list line and the files as last read.
    SceneDescription description;
    std::string vertexName; // the vertex shader's file name, for the title
    // What the last build was made from, to tell a real change from a save without one, and what
    // the driver said of it (the program drawn is the last one that linked).
    std::string builtVertex, builtFragment;
    ProgramReport report;
    // Everything wrong at the last attempt, and what the last program that linked may draw
    // otherwise than meant, as the renderer's check words them; empty for a scene in good health.
    std::vector<std::string> problems;
    std::vector<std::string> warnings;
};

struct LiveSequence {
    std::string listPath;
    std::string listText;
    bool listReadable = false;
    std::vector<LiveScene*> scenes;
    // What its lines hide or skip, and that it cannot be read or makes no scenes.
    std::vector<ListProblem> listProblems;
};

// A line of the display's problems panel.
struct PanelLine {
    std::string text;
    bool warning;
};

// What one build of a scene's program did, for the one-line reports.
struct SceneBuild {
    size_t scene;
    std::string file; // the file whose change it follows; empty when the list was read
    bool built;       // false: nothing was built, the sources being unreadable or unchanged
    bool linked;
    bool readable; // false: a file could not be read
    bool cleared;  // the scene had problems and has none now
    double milliseconds;
};

struct ListRead {
    bool changed = false; // false: a save without a change, nothing done
    size_t built = 0;     // programs built that link
    size_t failed = 0;    // programs built that do not, or scenes whose files cannot be read
    size_t kept = 0;
    double milliseconds = 0.0;
};

// Reads the list and builds the sequence it makes, reusing every scene whose two files and
// their contents are unchanged; rebuildAll builds every program again all the same.
ListRead readSequence(LiveSequence& sequence, bool rebuildAll, std::vector<SceneBuild>& builds);
// After a save of a shader: builds again the scenes that use it and whose sources changed.
void reloadShaderFile(LiveSequence& sequence, const std::string& path,
                      std::vector<SceneBuild>& builds);
// The display's problems panel, a line each: the list's problems, then each scene's problems and
// warnings under its number; empty for a sequence in good health.
std::vector<PanelLine> problemLines(const LiveSequence& sequence);
// Releases every scene, in list order.
void releaseSequence(LiveSequence& sequence);

// The list and every shader it names: what to watch.
std::vector<std::string> sequencePaths(const LiveSequence& sequence);
std::vector<float> sequenceDurations(const LiveSequence& sequence);
