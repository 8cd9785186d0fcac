// SIGINT, SIGTERM and SIGHUP during a render: a request to stop that the frame loop and the
// encoder threads see, so that the render is abandoned on the main thread like any failure.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Holds the three signals back in this thread and in every thread it starts from now on, such
// as the driver's: a signal is then only ever handled where the renderer expects it.
void holdInterrupts();
// Starts a thread that holds the three signals back, as the driver's threads do: one that calls
// into the driver and watches interruptCaught() instead.
std::thread startThreadHoldingInterrupts(std::function<void()> body);
// Lets them through again in this thread. With `catchThem`, each one is caught and only asks
// the render to stop; otherwise they end the program as usual.
void releaseInterrupts(bool catchThem);

// The signal that asked the render to stop, or 0. Cheap enough for every write.
int interruptCaught();
// The same, counting a signal that has arrived but not yet been handled: for the last word on
// why a render failed, when ffmpeg got the same Ctrl-C and died of it first.
int interruptSignal();
// How often waits look for an interruption, which no condition variable can be told of from a
// signal handler.
inline constexpr std::chrono::milliseconds interruptPoll(20);

// Waits until ready() holds; false where the render is interrupted first.
template <class Ready>
bool waitUnlessInterrupted(std::unique_lock<std::mutex>& guard, std::condition_variable& changed,
                           Ready ready) {
    while (!changed.wait_for(guard, interruptPoll, ready)) {
        if (interruptCaught()) {
            return false;
        }
    }
    return true;
}

// Sends the caught signal to the thread, so that a write it is blocked in returns.
void interruptThread(std::thread& thread);

// "SIGINT", "SIGTERM" or "SIGHUP".
const char* interruptName(int signal);
