// prismwafer-synth: renders the demo's soundtrack from code, at build time: 120 bpm, a scene a
// section, every cut on a bar line.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

static const int rate = 48000;
static const double bpm = 120.0;
static const double beat = 60.0 / bpm;
static const double bar = 4 * beat;
// The demo's scenes in bars, 2 s each: 100 s in all.
static const int sectionBars[] = {6, 6, 6, 6, 6, 7, 6, 7};
// A tail after the last cut, so the last chord rings out past the sequence's final frame.
static const double tailSeconds = 1.5;
static const double pi = 3.14159265358979323846;

// Which parts play in each section: pad, hats, kick, bass, arpeggio, lead.
struct Section {
    bool pad, hats, kick, bass, arpeggio, lead;
};
static const Section sections[] = {
    {true, true, false, false, false, false}, {true, true, true, false, false, false},
    {true, true, true, true, false, false},   {true, true, true, true, true, false},
    {true, false, false, false, true, false}, {true, true, true, true, true, true},
    {true, true, true, true, false, true},    {true, false, false, true, true, false},
};

// A minor, F, C, G: a bar each, as MIDI notes of the triad's root, third and fifth.
static const int chords[4][3] = {{57, 60, 64}, {53, 57, 60}, {48, 52, 55}, {55, 59, 62}};

static double frequency(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// A band-limited enough saw for low notes: the sum of its first harmonics.
static double saw(double phase, int harmonics) {
    double value = 0.0;
    for (int h = 1; h <= harmonics; ++h) {
        value += std::sin(2 * pi * h * phase) / h;
    }
    return value * 0.6;
}

static double envelope(double t, double attack, double decay) {
    return t < 0 ? 0.0 : (t < attack ? t / attack : std::exp(-(t - attack) / decay));
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: prismwafer-synth OUTPUT.ogg\n");
        return 2;
    }
    int totalBars = 0;
    for (int bars : sectionBars) {
        totalBars += bars;
    }
    const double length = totalBars * bar + tailSeconds;
    const size_t frames = static_cast<size_t>(length * rate);
    std::vector<float> left(frames), right(frames);
    std::mt19937 noise(2019);
    std::uniform_real_distribution<double> white(-1.0, 1.0);

    int sectionStart = 0;
    for (size_t index = 0; index < std::size(sectionBars); ++index) {
        const Section& part = sections[index];
        for (int b = sectionStart; b < sectionStart + sectionBars[index]; ++b) {
            const double barStart = b * bar;
            const int* chord = chords[b % 4];
            const size_t first = static_cast<size_t>(barStart * rate);
            const size_t last =
                std::min(frames, static_cast<size_t>((barStart + bar + 1.0) * rate));
            for (size_t i = first; i < last; ++i) {
                const double t = static_cast<double>(i) / rate - barStart;
                double l = 0.0, r = 0.0;
                if (part.pad && t < bar + 0.8) {
                    const double level = 0.05 * envelope(t, 0.6, 1.6) * (t < bar ? 1.0 : 0.5);
                    for (int n = 0; n < 3; ++n) {
                        const double f = frequency(chord[n]);
                        l += level * saw(f * 1.003 * (t + barStart), 6);
                        r += level * saw(f * 0.997 * (t + barStart), 6);
                    }
                }
                if (part.bass && t < bar) {
                    const double eighth = std::fmod(t, beat / 2);
                    const double f = frequency(chord[0] - 24);
                    const double v = 0.16 * envelope(eighth, 0.005, 0.12) * saw(f * t, 4);
                    l += v;
                    r += v;
                }
                if (part.kick && t < bar) {
                    const double k = std::fmod(t, beat);
                    const double v =
                        0.5 * envelope(k, 0.001, 0.09) *
                        std::sin(2 * pi * (50.0 * k + 40.0 * (1 - std::exp(-k * 30)) / 30));
                    l += v;
                    r += v;
                }
                if (part.hats && t < bar) {
                    const double h = std::fmod(t + beat / 2, beat);
                    const double v = 0.05 * envelope(h, 0.001, 0.02) * white(noise);
                    l += v * 0.8;
                    r += v;
                }
                if (part.arpeggio && t < bar) {
                    const int step = static_cast<int>(t / (beat / 4));
                    const double s = std::fmod(t, beat / 4);
                    const double f = frequency(chord[step % 3] + 12 * (1 + step / 8 % 2));
                    const double v = 0.05 * envelope(s, 0.003, 0.08) * std::sin(2 * pi * f * t);
                    l += v * (step % 2 ? 0.4 : 1.0);
                    r += v * (step % 2 ? 1.0 : 0.4);
                }
                if (part.lead && t < bar) {
                    const int half = static_cast<int>(t / (2 * beat));
                    const double s = std::fmod(t, 2 * beat);
                    const double f = frequency(chord[half == 0 ? 2 : 1] + 12);
                    const double v = 0.06 * envelope(s, 0.02, 0.5) *
                                     std::sin(2 * pi * f * t + 0.3 * std::sin(2 * pi * 5 * t));
                    l += v;
                    r += v;
                }
                left[i] += static_cast<float>(l);
                right[i] += static_cast<float>(r);
            }
        }
        // A cymbal on each cut, so that the ear hears where a scene begins.
        const size_t cut = static_cast<size_t>(sectionStart * bar * rate);
        for (size_t i = cut; i < std::min(frames, cut + static_cast<size_t>(1.5 * rate)); ++i) {
            const double t = static_cast<double>(i - cut) / rate;
            const double v = 0.12 * envelope(t, 0.001, 0.4) * white(noise);
            left[i] += static_cast<float>(v);
            right[i] += static_cast<float>(v * 0.9);
        }
        sectionStart += sectionBars[index];
    }

    // Fade in and out, and keep the peaks inside the range.
    std::vector<float> interleaved(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double fade = std::min({1.0, t / 0.5, (length - t) / (tailSeconds + 2.0)});
        interleaved[2 * i] = static_cast<float>(std::tanh(left[i] * fade));
        interleaved[2 * i + 1] = static_cast<float>(std::tanh(right[i] * fade));
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "prismwafer-synth: cannot write %s: %s\n", argv[1],
                     sf_strerror(nullptr));
        return 1;
    }
    double quality = 0.4;
    sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    // The encoder takes the sound a little at a time; one write of it all overruns it.
    sf_count_t written = 0;
    for (size_t at = 0; at < frames; at += 4096) {
        const sf_count_t count = static_cast<sf_count_t>(std::min<size_t>(4096, frames - at));
        written += sf_writef_float(file, interleaved.data() + 2 * at, count);
    }
    const bool closed = sf_close(file) == 0;
    if (written != static_cast<sf_count_t>(frames) || !closed) {
        std::fprintf(stderr, "prismwafer-synth: cannot write %s\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
