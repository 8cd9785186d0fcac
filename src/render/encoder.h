// Encodes and writes frames on threads of their own, so that drawing goes on meanwhile.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "render/frame_output.h"

struct FrameEncoder {
    FrameOutput* output = nullptr;
    const std::vector<std::vector<uint8_t>>* slotFrames = nullptr; // a converted frame a slot
    std::vector<std::thread> workers;
    std::mutex lock;
    std::condition_variable changed;
    struct Job {
        int slot;
        int64_t frame;
    };
    std::deque<Job> queue;
    std::vector<char> slotBusy;
    bool stopping = false;
    bool failed = false;
    std::string error;
    int64_t framesWritten = 0;
    size_t workersDone = 0;
};

// Frames of a PNG sequence are separate files and can be encoded side by side; a video stream
// is written in order by one thread. Half the cores, as many as keep pace with a fast GPU: a
// software rasteriser draws on every core, and more encoders than cores left to them only take
// turns with it (on two cores, two encoder threads made a render 10 % slower than one).
inline int encoderThreadsFor(OutputKind kind) {
    if (kind != OutputKind::pngSequence) {
        return 1;
    }
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency() / 2, 1u, 8u));
}

void startEncoder(FrameEncoder& encoder, FrameOutput& output,
                  const std::vector<std::vector<uint8_t>>& slotFrames, int threads);
// Blocks until the encoder no longer reads the slot. False once a write has failed or the render
// is interrupted.
bool waitForSlot(FrameEncoder& encoder, int slot);
// Hands over a slot whose pixels have landed.
void submitFrame(FrameEncoder& encoder, int slot, int64_t frame);
int64_t framesWritten(FrameEncoder& encoder);
// Writes what is queued and ends the threads; false with the first failure's reason. Once
// interrupted, frames being written are finished (a write blocked on a pipe is cut short) and
// those not begun are dropped, so the frames written are always the first ones handed over.
bool stopEncoder(FrameEncoder& encoder, std::string& error);
