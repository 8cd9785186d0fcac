// The soundtrack played through the sound device, and its playback as the live preview's clock.
#include "live/audio.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstring>

// About 21 ms at 48 kHz: short enough for a seek to sound within a frame or two.
static const int bufferFramesWanted = 1024;

static double steadyNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// On the device's thread: copies the soundtrack from its place, or silence, and notes the time.
static void fillBuffer(void* context, Uint8* stream, int length) {
    AudioOutput& output = *static_cast<AudioOutput*>(context);
    const Soundtrack& soundtrack = *output.soundtrack;
    const int channels = soundtrack.channels;
    const int64_t frames = length / (channels * static_cast<int>(sizeof(int16_t)));
    const int64_t first = output.nextFrame.fetch_add(frames);
    std::memset(stream, 0, static_cast<size_t>(length));
    const int64_t available = soundtrackFrames(soundtrack);
    if (!output.muted.load() && first < available && first + frames > 0) {
        const int64_t from = std::max<int64_t>(first, 0);
        const int64_t to = std::min(first + frames, available);
        std::memcpy(stream + (from - first) * channels * sizeof(int16_t),
                    soundtrack.samples.data() + from * channels,
                    static_cast<size_t>((to - from) * channels) * sizeof(int16_t));
    }
    std::lock_guard<std::mutex> lock(output.taken);
    output.framesTaken += frames;
    output.takenAt = steadyNow();
}

// The whole library, not only its audio: it also opened the session bus.
static void quitSound() {
    SDL_Quit();
}

bool openAudioOutput(AudioOutput& output, const Soundtrack& soundtrack, std::string& error) {
    output.soundtrack = &soundtrack;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        error = SDL_GetError();
        quitSound();
        return false;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = soundtrack.rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(soundtrack.channels);
    wanted.samples = bufferFramesWanted;
    wanted.callback = fillBuffer;
    wanted.userdata = &output;
    SDL_AudioSpec obtained{};
    // The device plays the soundtrack's own rate and channels; SDL converts where it must.
    output.device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (output.device == 0) {
        error = SDL_GetError();
        quitSound();
        return false;
    }
    output.bufferFrames = obtained.samples;
    return true;
}

void closeAudioOutput(AudioOutput& output) {
    if (output.device != 0) {
        SDL_CloseAudioDevice(output.device);
        quitSound();
        output.device = 0;
    }
}

// The device's own latency is not reported, only its buffer: the buffer taken last is taken to
// be heard from then on, in real time, until the next one is taken. So what is heard lags what
// was taken by up to one buffer.
struct Played {
    double seconds; // of sound played, silence included
    double unheard; // taken by the device but not heard yet
};

static Played played(AudioOutput& output) {
    std::lock_guard<std::mutex> lock(output.taken);
    const double rate = output.soundtrack->rate;
    const double buffer = static_cast<double>(output.bufferFrames) / rate;
    const double since = output.playing && output.framesTaken > 0
                             ? std::clamp(steadyNow() - output.takenAt, 0.0, buffer)
                             : 0.0;
    const double taken = static_cast<double>(output.framesTaken) / rate;
    const double seconds = std::max(taken - buffer + since, 0.0);
    return {seconds, taken - seconds};
}

double audioClockSeconds(void* context) {
    AudioOutput& output = *static_cast<AudioOutput*>(context);
    // Never backwards, even when a buffer is taken late.
    output.lastReading = std::max(output.lastReading, played(output).seconds);
    return output.lastReading;
}

double heardSeconds(AudioOutput& output) {
    // What is heard was read that long before the next read.
    return static_cast<double>(output.nextFrame.load()) / output.soundtrack->rate -
           played(output).unheard;
}

void playAudioFrom(AudioOutput& output, double seconds) {
    const double rate = output.soundtrack->rate;
    output.nextFrame.store(
        static_cast<int64_t>(std::llround((seconds + played(output).unheard) * rate)));
}

void setAudioPlaying(AudioOutput& output, bool playing) {
    {
        std::lock_guard<std::mutex> lock(output.taken);
        output.playing = playing;
    }
    SDL_PauseAudioDevice(output.device, playing ? 0 : 1);
}

bool audioAlive(const AudioOutput& output) {
    return output.device != 0 && SDL_GetAudioDeviceStatus(output.device) != SDL_AUDIO_STOPPED;
}
