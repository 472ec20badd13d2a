#pragma once
// Delivers POSIX signals as ordinary calls on the main thread.
//
// A watcher thread reads the signals from a signalfd and posts `handler(signo)` to the main
// queue. The signals must be blocked in every thread of the process (the entry point blocks
// them before any thread exists), so that none of them ends the process or runs a
// disposition; a signal that arrived before the source existed stays pending and is delivered
// as soon as the source starts. Several deliveries of one signal may merge into one call.
//
// Threads:
// - The handler runs on the main thread only, until cancel() or destruction; a call already
//   posted when the source is cancelled does nothing.
// - cancel() may be called from any thread, the handler included. It joins the watcher (which
//   never waits for the main thread), so a signal sent after it returns stays pending. The
//   destructor cancels.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/main_queue.h"
#include "platform/unique_fd.h"

namespace kg::capture {

class SignalSource {
public:
    // Throws CaptureError when the signalfd cannot be made.
    SignalSource(std::vector<int> signals, std::function<void(int signo)> handler, MainQueue mainQueue);
    ~SignalSource();
    SignalSource(const SignalSource&) = delete;
    SignalSource& operator=(const SignalSource&) = delete;

    void cancel();

private:
    struct Shared {
        std::function<void(int)> handler;
        std::atomic<bool> cancelled{false};
    };
    void watch();

    std::shared_ptr<Shared> shared_;
    MainQueue mainQueue_;
    UniqueFd signalFd_;
    UniqueFd wakeFd_;  // eventfd: written by cancel() to end the watcher
    std::mutex joinMutex_;  // cancel() may run on several threads; one joins
    std::thread watcher_;
};

}  // namespace kg::capture
