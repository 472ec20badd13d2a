#pragma once
// The maximum-duration timer: calls `onExpiry` on its own thread once `seconds` have passed,
// unless it was destroyed first. The owner decides where the call goes from there (the
// recorder posts it to the main queue).
//
// 0 expires at once, and so does a negative count; counts beyond about 200 years (more than
// the steady clock can express, and more than any process lives) never expire.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace kg::capture {

inline constexpr std::int64_t kMaxTimerSeconds = 18446744073;

class StopTimer {
public:
    StopTimer(std::int64_t seconds, std::function<void()> onExpiry);
    // Cancels and joins; `onExpiry` is not called after this returns. Any thread but the
    // timer's own.
    ~StopTimer();
    StopTimer(const StopTimer&) = delete;
    StopTimer& operator=(const StopTimer&) = delete;

private:
    void run(std::int64_t seconds);

    std::function<void()> onExpiry_;
    std::mutex mutex_;
    std::condition_variable cancelled_;
    bool cancel_ = false;
    std::thread thread_;
};

}  // namespace kg::capture
