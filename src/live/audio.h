// The soundtrack played through the sound device, and its playback as the live preview's clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "frames/soundtrack.h"

struct AudioOutput {
    const Soundtrack* soundtrack = nullptr;
    uint32_t device = 0; // 0: none open
    int bufferFrames = 0;
    // Where the next buffer is read from in the soundtrack; moved by seeks from the main thread.
    std::atomic<int64_t> nextFrame{0};
    std::atomic<bool> muted{false};
    // What the device has taken, silence included, and when it last took a buffer: the clock.
    std::mutex taken;
    int64_t framesTaken = 0;
    double takenAt = 0.0;
    double lastReading = 0.0;
    bool playing = false;
};

// Opens the default sound device for the soundtrack, paused. False with the device's reason.
bool openAudioOutput(AudioOutput& output, const Soundtrack& soundtrack, std::string& error);
void closeAudioOutput(AudioOutput& output);

// Seconds of sound the device has played, steadily on, whatever the soundtrack's place: a
// ClockSource's reading, so that the picture moves exactly as the sound does.
double audioClockSeconds(void* output);
// The soundtrack's second that is heard now.
double heardSeconds(AudioOutput& output);
// From now on the device plays the soundtrack from `seconds` as it is heard: what is written now
// is heard one buffer later. Past the end it plays silence.
void playAudioFrom(AudioOutput& output, double seconds);
// Paused, the device plays silence and the clock stands.
void setAudioPlaying(AudioOutput& output, bool playing);
// The device went away (unplugged, a sound server gone): false from then on.
bool audioAlive(const AudioOutput& output);
