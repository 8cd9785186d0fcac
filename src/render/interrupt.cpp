// SIGINT, SIGTERM and SIGHUP during a render: a request to stop that the frame loop and the
// encoder threads see, so that the render is abandoned on the main thread like any failure.
#include "render/interrupt.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>

static std::atomic<int> caughtSignal{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "the handler may only touch a lock-free atomic");

static const int interruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

static sigset_t interruptSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : interruptSignals) {
        sigaddset(&set, signal);
    }
    return set;
}

// The first signal wins; later ones, the renderer's own wake-ups included, change nothing.
static void noteInterrupt(int signal) {
    int none = 0;
    caughtSignal.compare_exchange_strong(none, signal);
}

void holdInterrupts() {
    const sigset_t set = interruptSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

std::thread startThreadHoldingInterrupts(std::function<void()> body) {
    const sigset_t set = interruptSet();
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &set, &before);
    std::thread thread(std::move(body));
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return thread;
}

void releaseInterrupts(bool catchThem) {
    if (catchThem) {
        struct sigaction action {};
        action.sa_handler = noteInterrupt;
        sigfillset(&action.sa_mask);
        // No SA_RESTART: a write blocked on a pipe must return when the signal comes.
        action.sa_flags = 0;
        for (int signal : interruptSignals) {
            sigaction(signal, &action, nullptr);
        }
    }
    const sigset_t set = interruptSet();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int interruptCaught() {
    return caughtSignal.load();
}

int interruptSignal() {
    if (const int signal = caughtSignal.load()) {
        return signal;
    }
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    for (int signal : interruptSignals) {
        if (sigismember(&pending, signal)) {
            return signal;
        }
    }
    // Handled between the two looks.
    return caughtSignal.load();
}

void interruptThread(std::thread& thread) {
    if (const int signal = caughtSignal.load()) {
        pthread_kill(thread.native_handle(), signal);
    }
}

const char* interruptName(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}
