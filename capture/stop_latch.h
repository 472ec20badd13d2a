#pragma once
// The stop request of one recording: set once, never reset; waiters wake when it is set.
// Any thread may call any member.

#include <condition_variable>
#include <mutex>

namespace kg::capture {

class StopLatch {
public:
    // Sets the request. Returns true for the call that set it, false for every later one.
    bool trigger() {
        std::lock_guard lock(mutex_);
        if (stopped_) return false;
        stopped_ = true;
        changed_.notify_all();
        return true;
    }
    [[nodiscard]] bool triggered() const {
        std::lock_guard lock(mutex_);
        return stopped_;
    }
    // Returns once the request is set, at once when it already was.
    void wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopped_ = false;
};

}  // namespace kg::capture
