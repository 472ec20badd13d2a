#include "capture/stop_timer.h"

#include <chrono>

namespace kg::capture {

namespace {
// Beyond this the deadline would overflow the steady clock's 64-bit nanoseconds; such a timer
// cannot expire during any process's life, so it simply waits for cancellation.
constexpr std::int64_t kLongestRepresentableSeconds = 200LL * 365 * 24 * 3600;
}  // namespace

StopTimer::StopTimer(std::int64_t seconds, std::function<void()> onExpiry) : onExpiry_(std::move(onExpiry)) {
    thread_ = std::thread([this, seconds] { run(seconds); });
}

StopTimer::~StopTimer() {
    {
        std::lock_guard lock(mutex_);
        cancel_ = true;
    }
    cancelled_.notify_all();
    thread_.join();
}

void StopTimer::run(std::int64_t seconds) {
    std::unique_lock lock(mutex_);
    if (seconds > kLongestRepresentableSeconds) {
        cancelled_.wait(lock, [&] { return cancel_; });
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::max<std::int64_t>(0, seconds));
    if (cancelled_.wait_until(lock, deadline, [&] { return cancel_; })) return;
    lock.unlock();
    onExpiry_();
}

}  // namespace kg::capture
