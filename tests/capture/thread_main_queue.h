#pragma once
// A main queue for tests and tools without a toolkit: one thread runs the posted tasks in
// order, standing in for the application's main thread. Tasks posted after destruction began
// are dropped; the destructor runs what is already queued, then joins.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/main_queue.h"

namespace kg::test {

class ThreadMainQueue {
public:
    ThreadMainQueue() : thread_([this] { run(); }) {}
    ~ThreadMainQueue() {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    ThreadMainQueue(const ThreadMainQueue&) = delete;
    ThreadMainQueue& operator=(const ThreadMainQueue&) = delete;

    // The queue as the engine takes it. Valid while this object lives.
    [[nodiscard]] MainQueue queue() {
        return [this](MainTask task) {
            std::lock_guard lock(mutex_);
            if (closing_) return;
            tasks_.push_back(std::move(task));
            wake_.notify_all();
        };
    }
    [[nodiscard]] bool onMainThread() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return closing_ || !tasks_.empty(); });
            if (tasks_.empty()) return;
            MainTask task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<MainTask> tasks_;
    bool closing_ = false;
    std::thread thread_;
};

}  // namespace kg::test
