// Encodes and writes frames on threads of their own, so that drawing goes on meanwhile.
#include "render/encoder.h"

#include <algorithm>
#include <chrono>

#include "render/interrupt.h"

static void encodeFrames(FrameEncoder* encoder) {
    std::unique_lock<std::mutex> guard(encoder->lock);
    for (;;) {
        encoder->changed.wait(guard, [&] { return !encoder->queue.empty() || encoder->stopping; });
        if (encoder->queue.empty()) {
            ++encoder->workersDone;
            encoder->changed.notify_all();
            return;
        }
        const FrameEncoder::Job job = encoder->queue.front();
        encoder->queue.pop_front();
        if (!encoder->failed && !interruptCaught()) {
            guard.unlock();
            std::string error;
            const bool written = writeFrame(
                *encoder->output, (*encoder->slotFrames)[static_cast<size_t>(job.slot)].data(),
                job.frame, error);
            guard.lock();
            if (written) {
                ++encoder->framesWritten;
            } else if (!encoder->failed) {
                encoder->failed = true;
                encoder->error = error;
            }
        }
        encoder->slotBusy[static_cast<size_t>(job.slot)] = false;
        encoder->changed.notify_all();
    }
}

void startEncoder(FrameEncoder& encoder, FrameOutput& output,
                  const std::vector<std::vector<uint8_t>>& slotFrames, int threads) {
    encoder.output = &output;
    encoder.slotFrames = &slotFrames;
    encoder.slotBusy.assign(slotFrames.size(), 0);
    for (int i = 0; i < threads; ++i) {
        encoder.workers.emplace_back(encodeFrames, &encoder);
    }
}

bool waitForSlot(FrameEncoder& encoder, int slot) {
    std::unique_lock<std::mutex> guard(encoder.lock);
    return waitUnlessInterrupted(
               guard, encoder.changed,
               [&] { return !encoder.slotBusy[static_cast<size_t>(slot)] || encoder.failed; }) &&
           !encoder.failed && !interruptCaught();
}

void submitFrame(FrameEncoder& encoder, int slot, int64_t frame) {
    {
        std::lock_guard<std::mutex> guard(encoder.lock);
        encoder.slotBusy[static_cast<size_t>(slot)] = 1;
        encoder.queue.push_back({slot, frame});
    }
    encoder.changed.notify_all();
}

int64_t framesWritten(FrameEncoder& encoder) {
    std::lock_guard<std::mutex> guard(encoder.lock);
    return encoder.framesWritten;
}

bool stopEncoder(FrameEncoder& encoder, std::string& error) {
    {
        std::lock_guard<std::mutex> guard(encoder.lock);
        encoder.stopping = true;
    }
    encoder.changed.notify_all();
    {
        // A write blocked on a pipe that nobody reads returns only when a signal reaches its
        // thread; the one that came may have gone to another, so it is sent on until all are out.
        std::unique_lock<std::mutex> guard(encoder.lock);
        while (!encoder.changed.wait_for(
            guard, interruptPoll, [&] { return encoder.workersDone == encoder.workers.size(); })) {
            for (std::thread& worker : encoder.workers) {
                interruptThread(worker);
            }
        }
    }
    for (std::thread& worker : encoder.workers) {
        worker.join();
    }
    encoder.workers.clear();
    error = encoder.error;
    return !encoder.failed;
}
