#pragma once
// Timers on the main thread's event loop.
//
// Main thread only: create, invalidate and destroy there; the callback runs there. The owner
// holds the Timer; destroying it invalidates it. The callback must not destroy its own Timer
// (invalidate() is fine).

#include <functional>
#include <memory>

namespace kg {

class Timer {
public:
    // Runs `action` every `interval_seconds` (the first time one interval from now) until
    // invalidated.
    [[nodiscard]] static std::unique_ptr<Timer> scheduledRepeating(double interval_seconds,
                                                                   std::function<void()> action);
    // Runs `action` once, `interval_seconds` from now, unless invalidated before.
    [[nodiscard]] static std::unique_ptr<Timer> scheduledOnce(double interval_seconds,
                                                              std::function<void()> action);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Stops the timer; the action never runs again. Idempotent.
    void invalidate();
    [[nodiscard]] bool isValid() const;

    struct Impl;

private:
    explicit Timer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace kg
