// Copies drawn frames out of the driver on a thread and a context of their own, so that the next
// frame is drawn meanwhile: a driver copies out of a context's framebuffer only once every frame
// in flight on that context has been drawn, the one just begun included.
#pragma once

#include <glad/gl.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "render/encoder.h"
#include "render/headless_context.h"
#include "render/offscreen.h"

struct FrameCopier {
    const HeadlessContext* headless = nullptr;
    void* context = nullptr; // shares the drawing context's objects
    std::vector<OffscreenTarget> targets;
    ReadbackRing* ring = nullptr;
    FrameEncoder* encoder = nullptr;
    std::thread thread;
    std::mutex lock;
    std::condition_variable changed;
    struct Job {
        int target;
        int slot;
        int64_t frame;
        GLsync drawn; // after the frame's drawing, flushed
    };
    std::deque<Job> queue;
    std::vector<char> targetBusy;
    bool stopping = false;
    bool failed = false; // no slot came free: the encoder failed or the render is interrupted
};

// Makes the copier's context; false with a reason where the driver cannot share one.
bool createFrameCopier(FrameCopier& copier, const HeadlessContext& headless, std::string& error);
// Starts the thread, which reads the targets into the ring's slots and hands them to the encoder.
void startFrameCopier(FrameCopier& copier, const OffscreenTarget* targets, int targetCount,
                      ReadbackRing& ring, FrameEncoder& encoder);
// Blocks until no copy is waiting to read the target. False once the copier has stopped copying.
bool waitForTarget(FrameCopier& copier, int target);
// Hands over a frame drawn into the target, for the slot.
void copyFrame(FrameCopier& copier, int target, int slot, int64_t frame);
// Copies what was handed over, unless the render was interrupted or a write failed, and ends
// the thread.
void stopFrameCopier(FrameCopier& copier);
void destroyFrameCopier(FrameCopier& copier);
