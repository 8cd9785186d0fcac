// Encodes and writes frames on a thread of its own, so that drawing goes on meanwhile.
#include "render/encoder.h"

static void encodeFrames(FrameEncoder* encoder) {
    std::unique_lock<std::mutex> guard(encoder->lock);
    for (;;) {
        encoder->changed.wait(guard, [&] { return !encoder->queue.empty() || encoder->stopping; });
        if (encoder->queue.empty()) {
            return;
        }
        const FrameEncoder::Job job = encoder->queue.front();
        encoder->queue.pop_front();
        if (!encoder->failed) {
            guard.unlock();
            std::string error;
            const bool written =
                writeFrame(*encoder->output, encoder->slotPixels[job.slot], job.frame, error);
            guard.lock();
            if (written) {
                ++encoder->framesWritten;
            } else {
                encoder->failed = true;
                encoder->error = error;
            }
        }
        encoder->slotBusy[job.slot] = false;
        encoder->changed.notify_all();
    }
}

void startEncoder(FrameEncoder& encoder, FrameOutput& output, const uint8_t* const* slotPixels) {
    encoder.output = &output;
    encoder.slotPixels = slotPixels;
    encoder.worker = std::thread(encodeFrames, &encoder);
}

bool waitForSlot(FrameEncoder& encoder, int slot) {
    std::unique_lock<std::mutex> guard(encoder.lock);
    encoder.changed.wait(guard, [&] { return !encoder.slotBusy[slot] || encoder.failed; });
    return !encoder.failed;
}

void submitFrame(FrameEncoder& encoder, int slot, int64_t frame) {
    {
        std::lock_guard<std::mutex> guard(encoder.lock);
        encoder.slotBusy[slot] = true;
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
    encoder.worker.join();
    error = encoder.error;
    return !encoder.failed;
}
