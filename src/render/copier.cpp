// Copies each drawn frame out of the driver, converted for the output, on two threads at once.
#include "render/copier.h"

#include "render/interrupt.h"

// Strips of the frame, taken in turn by whichever thread is free, until none are left.
static void copyStrips(FrameCopier& copier, const OffscreenTarget& target,
                       std::vector<uint8_t>& strip) {
    const int rows = stripRows(target);
    const int strips = (target.height + rows - 1) / rows;
    for (int at; (at = copier.nextStrip.fetch_add(1)) < strips;) {
        const int firstRow = at * rows;
        const int rowCount = std::min(rows, target.height - firstRow);
        readTargetRows(target, firstRow, rowCount, strip);
        convertFrameRows(*copier.output, strip.data(), firstRow, rowCount, copier.frame);
    }
}

static void helpCopy(FrameCopier* copier) {
    // Framebuffers, unlike the textures they show, belong to a context: this one has its own.
    // Without its context the thread takes no strips, and the drawing thread takes them all.
    const bool current = makeCurrentOnThisThread(*copier->headless, copier->context);
    const OffscreenTarget view = current ? sharedTargetView(copier->target) : OffscreenTarget{};
    std::vector<uint8_t> strip;

    std::unique_lock<std::mutex> guard(copier->lock);
    for (;;) {
        copier->changed.wait(guard, [&] { return copier->helping || copier->stopping; });
        if (copier->stopping) {
            break;
        }
        guard.unlock();
        if (current) {
            copyStrips(*copier, view, strip);
        }
        guard.lock();
        copier->helping = false;
        copier->changed.notify_all();
    }
    guard.unlock();

    if (current) {
        glDeleteFramebuffers(1, &view.framebuffer);
        makeCurrentOnThisThread(*copier->headless, nullptr);
    }
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

void startFrameCopier(FrameCopier& copier, const OffscreenTarget& target,
                      const FrameOutput& output) {
    copier.target = target;
    copier.output = &output;
    copier.thread = startThreadHoldingInterrupts([&copier] { helpCopy(&copier); });
}

bool copyFrame(FrameCopier& copier, uint8_t* frame) {
    const GLsync drawn = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    const GLuint64 pollNanoseconds = 1000000 * static_cast<GLuint64>(interruptPoll.count());
    GLenum waited;
    while ((waited = glClientWaitSync(drawn, GL_SYNC_FLUSH_COMMANDS_BIT, pollNanoseconds)) ==
               GL_TIMEOUT_EXPIRED &&
           !interruptCaught()) {
    }
    glDeleteSync(drawn);
    if (waited == GL_TIMEOUT_EXPIRED) {
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(copier.lock);
        copier.frame = frame;
        copier.nextStrip = 0;
        copier.helping = true;
    }
    copier.changed.notify_all();
    copyStrips(copier, copier.target, copier.strip);
    std::unique_lock<std::mutex> guard(copier.lock);
    copier.changed.wait(guard, [&] { return !copier.helping; });
    return true;
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
