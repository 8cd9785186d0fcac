// Copies each drawn frame out of the driver, converted for the output, on two threads at once.
//
// The copy is mostly waiting on memory: a strip of rows is read into a buffer small enough to stay
// in the cache and converted there, and while the drawing thread does one strip, a second thread,
// with a context of its own that shares the framebuffer, does another. Copying while the next
// frame is drawn does not pay on a driver that draws on the processor: both want the same cores
// and memory, and its copies out of a context wait for every frame in flight there.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "render/frame_output.h"
#include "render/headless_context.h"
#include "render/offscreen.h"

struct FrameCopier {
    const HeadlessContext* headless = nullptr;
    void* context = nullptr; // shares the drawing context's objects
    OffscreenTarget target;
    const FrameOutput* output = nullptr;
    std::thread thread;
    std::mutex lock;
    std::condition_variable changed;
    uint8_t* frame = nullptr; // being converted into
    bool helping = false;     // the helper is asked to take strips of it, until none are left
    std::atomic<int> nextStrip{0};
    std::vector<uint8_t> strip; // the drawing thread's rows being converted
    bool stopping = false;
};

// Makes the copier's context; false with a reason where the driver cannot share one.
bool createFrameCopier(FrameCopier& copier, const HeadlessContext& headless, std::string& error);
// Starts the thread that helps copy the target's frames for the output.
void startFrameCopier(FrameCopier& copier, const OffscreenTarget& target,
                      const FrameOutput& output);
// Waits for the drawing of the target's frame and copies it into `frame`, as convertFrameRows
// makes it, returning once the whole frame is there. False where the render was interrupted
// before the drawing finished.
bool copyFrame(FrameCopier& copier, uint8_t* frame);
void stopFrameCopier(FrameCopier& copier);
void destroyFrameCopier(FrameCopier& copier);
