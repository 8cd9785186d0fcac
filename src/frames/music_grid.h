// The music's grid of bars, beats and rows, and where scenes fall against it (GL-free).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MusicGrid {
    double bpm = 0.0; // 0: no grid
    int beatsPerBar = 4;
    int rowsPerBeat = 4; // 3 or 6 give triplet rows
};

inline double beatSeconds(const MusicGrid& grid) {
    return 60.0 / grid.bpm;
}

// "BAR.BEAT.ROW", each counted from 1: "1.1.1" at second 0.
std::string gridPosition(const MusicGrid& grid, double seconds);

// The second of the beat `beats` whole beats from the one at or before `seconds` (forward when
// positive; back from a place between beats, the beat before it counts as one), never below 0.
double stepBeats(const MusicGrid& grid, double seconds, int beats);

// A scene that starts off the beat: where it starts, the beat nearest it, and the duration of the
// scene before that puts its start on that beat at the frame rate.
struct OffBeatScene {
    size_t scene;
    double start;
    int64_t beat;  // counted from 0
    double offset; // start - the beat's second
    double suggestedDuration;
};

// Scenes after the first whose start, by the player's end rule at fps, is more than tolerance
// seconds further from its nearest beat than the nearest frame to that beat is.
std::vector<OffBeatScene> offBeatScenes(const MusicGrid& grid,
                                        const std::vector<int64_t>& endFrames, double fps,
                                        double tolerance);
