// Copies drawn frames out of the driver on a thread and a context of their own.
#include "render/copier.h"

#include <chrono>

#include "render/interrupt.h"

// Waits for the frame's drawing and for its slot, and copies it. False where the render was
// interrupted first or no slot came free.
static bool copyOne(FrameCopier& copier, const FrameCopier::Job& job, const OffscreenTarget& view) {
    const GLuint64 pollNanoseconds = 1000000 * static_cast<GLuint64>(interruptPoll.count());
    while (glClientWaitSync(job.drawn, 0, pollNanoseconds) == GL_TIMEOUT_EXPIRED) {
        if (interruptCaught()) {
            return false;
        }
    }
    if (!waitForSlot(*copier.encoder, job.slot)) {
        return false;
    }
    startReadback(*copier.ring, job.slot, view);
    finishReadback(*copier.ring, job.slot);
    return true;
}

static void copyFrames(FrameCopier* copier) {
    // Framebuffers, unlike the renderbuffers they show, belong to a context: this one has its own.
    makeCurrentOnThisThread(*copier->headless, copier->context);
    std::vector<OffscreenTarget> views;
    for (const OffscreenTarget& target : copier->targets) {
        views.push_back(sharedTargetView(target));
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);

    std::unique_lock<std::mutex> guard(copier->lock);
    for (;;) {
        copier->changed.wait(guard, [&] { return !copier->queue.empty() || copier->stopping; });
        if (copier->queue.empty()) {
            break;
        }
        const FrameCopier::Job job = copier->queue.front();
        copier->queue.pop_front();
        const bool skipped = copier->failed;
        guard.unlock();
        const bool copied =
            !skipped && copyOne(*copier, job, views[static_cast<size_t>(job.target)]);
        glDeleteSync(job.drawn);
        guard.lock();
        // The target is free for drawing before the encoder is handed its pixels.
        if (!copied) {
            copier->failed = true;
        }
        copier->targetBusy[static_cast<size_t>(job.target)] = 0;
        copier->changed.notify_all();
        if (copied) {
            guard.unlock();
            submitFrame(*copier->encoder, job.slot, job.frame);
            guard.lock();
        }
    }
    guard.unlock();

    for (OffscreenTarget& view : views) {
        glDeleteFramebuffers(1, &view.framebuffer);
    }
    makeCurrentOnThisThread(*copier->headless, nullptr);
}

bool createFrameCopier(FrameCopier& copier, const HeadlessContext& headless, std::string& error) {
    copier.headless = &headless;
    copier.context = createSharedContext(headless);
    if (!copier.context) {
        error = "the OpenGL context cannot be shared with a second thread";
        return false;
    }
    return true;
}

void startFrameCopier(FrameCopier& copier, const OffscreenTarget* targets, int targetCount,
                      ReadbackRing& ring, FrameEncoder& encoder) {
    copier.targets.assign(targets, targets + targetCount);
    copier.targetBusy.assign(static_cast<size_t>(targetCount), 0);
    copier.ring = &ring;
    copier.encoder = &encoder;
    copier.thread = startThreadHoldingInterrupts([&copier] { copyFrames(&copier); });
}

bool waitForTarget(FrameCopier& copier, int target) {
    std::unique_lock<std::mutex> guard(copier.lock);
    return waitUnlessInterrupted(
               guard, copier.changed,
               [&] { return !copier.targetBusy[static_cast<size_t>(target)] || copier.failed; }) &&
           !copier.failed && !interruptCaught();
}

void copyFrame(FrameCopier& copier, int target, int slot, int64_t frame) {
    const GLsync drawn = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    glFlush();
    {
        std::lock_guard<std::mutex> guard(copier.lock);
        copier.targetBusy[static_cast<size_t>(target)] = 1;
        copier.queue.push_back({target, slot, frame, drawn});
    }
    copier.changed.notify_all();
}

void stopFrameCopier(FrameCopier& copier) {
    {
        std::lock_guard<std::mutex> guard(copier.lock);
        copier.stopping = true;
    }
    copier.changed.notify_all();
    copier.thread.join();
}

void destroyFrameCopier(FrameCopier& copier) {
    if (!copier.context) {
        return;
    }
    destroySharedContext(*copier.headless, copier.context);
    copier.context = nullptr;
}
