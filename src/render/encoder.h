// Encodes and writes frames on a thread of its own, so that drawing goes on meanwhile.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "render/frame_output.h"
#include "render/offscreen.h"

struct FrameEncoder {
    FrameOutput* output = nullptr;
    const uint8_t* const* slotPixels = nullptr; // one frame's pixels per readback slot
    std::thread worker;
    std::mutex lock;
    std::condition_variable changed;
    struct Job {
        int slot;
        int64_t frame;
    };
    std::deque<Job> queue;
    bool slotBusy[ReadbackRing::slotCount] = {};
    bool stopping = false;
    bool failed = false;
    std::string error;
    int64_t framesWritten = 0;
};

void startEncoder(FrameEncoder& encoder, FrameOutput& output, const uint8_t* const* slotPixels);
// Blocks until the encoder no longer reads the slot. False once a write has failed.
bool waitForSlot(FrameEncoder& encoder, int slot);
// Hands over a slot whose pixels have landed.
void submitFrame(FrameEncoder& encoder, int slot, int64_t frame);
int64_t framesWritten(FrameEncoder& encoder);
// Writes what is queued and ends the thread; false with the first failure's reason.
bool stopEncoder(FrameEncoder& encoder, std::string& error);
