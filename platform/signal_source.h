#pragma once
// A POSIX signal delivered as an event on the main thread, through a signalfd watched by the
// event loop: the handler runs there as ordinary code, never in signal context.
//
// Main thread only. The signal must be blocked in every thread of the process, or the kernel
// may deliver it the default way instead; blocking it in main() before any thread starts does
// that (the constructor also blocks it in the calling thread). Destroying the source stops
// delivery; the signal stays blocked.

#include <functional>
#include <memory>

namespace kg {

class SignalSource {
public:
    // Throws std::runtime_error when the signalfd cannot be created.
    SignalSource(int signal_number, std::function<void()> handler);
    ~SignalSource();
    SignalSource(const SignalSource&) = delete;
    SignalSource& operator=(const SignalSource&) = delete;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace kg
