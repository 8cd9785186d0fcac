// The renderer's scenes: built from the list on the road every program takes, with every problem
// found on the way, each on a line of its own that editors and build logs can jump from.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "frames/music_grid.h"
#include "scene/scene.h"

// Where a scene comes from, and whether it builds.
struct SceneOrigin {
    size_t listLine = 0;
    std::string vertexPath, fragmentPath;
    bool builds = true;
};

// One line about something wrong: in the list's own text (its lines and numbers), or in what a
// scene is built from.
struct Problem {
    std::string text;
    std::optional<size_t> scene; // the index of the scene it belongs to, if it is one's
    bool warning = false;        // the scene is drawn as it says, but likely not as meant
};

struct CheckedSceneList {
    bool readable = false;
    std::string listProblem; // the list cannot be read or makes no scene, or ""
    SceneList scenes;
    std::vector<SceneOrigin> origins; // one per scene
    std::vector<Problem> problems;    // in the order of the list
};

// Reads the list at path and builds every scene it names. Problems read "LIST:LINE: ..." for the
// list's lines and the files they name, and "FILE:LINE:COLUMN: ..." for what the compiler says;
// warnings name uniforms nothing sets and instance counts too large to draw in good time.
// With playerMessages, prints on the way what the player prints while loading, except the
// short-line warning, which is one of the problems; without, prints nothing.
CheckedSceneList loadCheckedSceneList(const std::string& path, bool playerMessages);

// What --check says of the music: a soundtrack that cannot be read (a problem) or is shorter than
// the sequence (a warning, with both lengths), and with a tempo, each scene that starts off its
// nearest beat by more than a few milliseconds beyond what the frame rate allows (a warning, with
// the duration of the scene before that puts it on the beat).
std::vector<Problem> musicProblems(const CheckedSceneList& list, const std::string& listPath,
                                   double fps, const std::string& soundtrackPath,
                                   const MusicGrid& grid);
