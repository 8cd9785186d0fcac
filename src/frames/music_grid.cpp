// The music's grid of bars, beats and rows, and where scenes fall against it (GL-free).
#include "frames/music_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string gridPosition(const MusicGrid& grid, double seconds) {
    const double rows =
        std::floor(std::max(seconds, 0.0) / beatSeconds(grid) * grid.rowsPerBeat + 1e-9);
    const int64_t row = static_cast<int64_t>(rows);
    const int64_t beat = row / grid.rowsPerBeat;
    char text[64];
    std::snprintf(text, sizeof text, "%lld.%lld.%lld",
                  static_cast<long long>(beat / grid.beatsPerBar + 1),
                  static_cast<long long>(beat % grid.beatsPerBar + 1),
                  static_cast<long long>(row % grid.rowsPerBeat + 1));
    return text;
}

double stepBeats(const MusicGrid& grid, double seconds, int beats) {
    const double beat = beatSeconds(grid);
    // Within a microsecond of a beat counts as on it, so that repeated steps land on beats.
    const double at = std::floor(seconds / beat + 1e-6);
    const bool between = seconds - at * beat > 1e-6;
    const double target = at + beats + (beats < 0 && between ? 1 : 0);
    return std::max(target, 0.0) * beat;
}

std::vector<OffBeatScene> offBeatScenes(const MusicGrid& grid,
                                        const std::vector<int64_t>& endFrames, double fps,
                                        double tolerance) {
    std::vector<OffBeatScene> offBeat;
    const double beat = beatSeconds(grid);
    // Scene s starts at the reading of the frame that ended scene s - 1; a scene that never ends
    // is the last the list reaches.
    for (size_t scene = 1; scene < endFrames.size() && endFrames[scene - 1] != INT64_MAX; ++scene) {
        const int64_t previousStart = scene >= 2 ? endFrames[scene - 2] : 0;
        const double start = static_cast<double>(endFrames[scene - 1]) / fps;
        // The beat to aim at comes after the scene before has begun.
        const int64_t nearest =
            std::max<int64_t>(std::llround(start / beat),
                              static_cast<int64_t>(std::floor(previousStart / fps / beat)) + 1);
        const int64_t onBeatFrame = std::llround(static_cast<double>(nearest) * beat * fps);
        const double best = std::abs(static_cast<double>(onBeatFrame) / fps - nearest * beat);
        const double offset = start - static_cast<double>(nearest) * beat;
        if (std::abs(offset) <= best + tolerance) {
            continue;
        }
        // The scene before ends in the first frame whose time exceeds its duration: halfway
        // between two frames is safe from rounding either way.
        const double duration = (static_cast<double>(onBeatFrame - previousStart) - 0.5) / fps;
        offBeat.push_back({scene, start, nearest, offset, duration});
    }
    return offBeat;
}
