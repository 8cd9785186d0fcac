// A soundtrack decoded whole: what the live preview plays and draws, and what the check measures.
#include "frames/soundtrack.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "scene/message_text.h"
#include "scene/text_file.h"

// Decoded whole rather than streamed: a seek must sound at once and the strip draws the whole
// waveform, and five minutes of 16-bit stereo at 48 kHz are 55 MiB.
bool loadSoundtrack(const std::string& path, Soundtrack& soundtrack, std::string& error) {
    soundtrack = Soundtrack{};
    soundtrack.path = path;
    std::string reason;
    if (!canReadTextFile(path, reason)) {
        error = "cannot read the soundtrack " + printable(path) + ": " + reason;
        return false;
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        error = "cannot read the soundtrack " + printable(path) + ": " + sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.samplerate < 1 || info.frames < 0) {
        sf_close(file);
        error = "cannot read the soundtrack " + printable(path) + ": no sound in it";
        return false;
    }
    soundtrack.rate = info.samplerate;
    soundtrack.channels = info.channels;
    // Some formats do not know their length before the end; read in chunks until there is no more.
    const size_t chunk = 65536 * static_cast<size_t>(info.channels);
    sf_count_t read = 0;
    do {
        const size_t at = soundtrack.samples.size();
        soundtrack.samples.resize(at + chunk);
        read = sf_read_short(file, soundtrack.samples.data() + at, static_cast<sf_count_t>(chunk));
        soundtrack.samples.resize(at + static_cast<size_t>(std::max<sf_count_t>(read, 0)));
    } while (read > 0);
    const int failure = sf_error(file);
    const std::string failed = failure ? sf_error_number(failure) : "";
    sf_close(file);
    soundtrack.samples.shrink_to_fit();
    if (failure || soundtrack.samples.empty()) {
        error = "cannot read the soundtrack " + printable(path) + ": " +
                (failure ? failed : std::string("no sound in it"));
        return false;
    }
    return true;
}

void soundtrackPeaks(const Soundtrack& soundtrack, double from, double to, size_t columns,
                     std::vector<float>& peaks) {
    peaks.assign(columns, 0.0f);
    const int64_t frames = soundtrackFrames(soundtrack);
    for (size_t column = 0; column < columns && to > from; ++column) {
        const double span = (to - from) / static_cast<double>(columns);
        const int64_t first = std::clamp<int64_t>(
            static_cast<int64_t>((from + span * static_cast<double>(column)) * soundtrack.rate), 0,
            frames);
        const int64_t last = std::clamp<int64_t>(
            static_cast<int64_t>((from + span * static_cast<double>(column + 1)) * soundtrack.rate),
            first, frames);
        int peak = 0;
        const int16_t* sample = soundtrack.samples.data() + first * soundtrack.channels;
        const int16_t* end = soundtrack.samples.data() + last * soundtrack.channels;
        for (; sample < end; ++sample) {
            peak = std::max(peak, std::abs(static_cast<int>(*sample)));
        }
        peaks[column] = static_cast<float>(peak) / 32768.0f;
    }
}
