// A soundtrack decoded whole: what the live preview plays and draws, and what the check measures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Soundtrack {
    std::string path;
    int rate = 0;     // frames a second
    int channels = 0; // samples a frame, interleaved
    std::vector<int16_t> samples;
};

// Decodes WAV, FLAC, Ogg Vorbis, Opus, MP3 and the other formats the sound library reads, whole,
// as 16-bit samples. False with a one-line reason ("cannot read the soundtrack PATH: REASON").
bool loadSoundtrack(const std::string& path, Soundtrack& soundtrack, std::string& error);

inline int64_t soundtrackFrames(const Soundtrack& soundtrack) {
    return soundtrack.channels > 0
               ? static_cast<int64_t>(soundtrack.samples.size()) / soundtrack.channels
               : 0;
}
inline double soundtrackSeconds(const Soundtrack& soundtrack) {
    return soundtrack.rate > 0 ? static_cast<double>(soundtrackFrames(soundtrack)) / soundtrack.rate
                               : 0.0;
}

// The loudest sample in each of `columns` equal spans of [from, to) seconds, from 0 to 1: the
// waveform a strip of that many pixels draws.
void soundtrackPeaks(const Soundtrack& soundtrack, double from, double to, size_t columns,
                     std::vector<float>& peaks);
