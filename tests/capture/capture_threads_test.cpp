// The threaded parts of the engine: the frame hand-over queue, the stop latch and timer, and
// the signal source. Also run under ThreadSanitizer.

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "capture/bounded_queue.h"
#include "capture/signal_source.h"
#include "capture/stop_latch.h"
#include "capture/stop_timer.h"
#include "tests/capture/thread_main_queue.h"

namespace kg::capture {
namespace {

using namespace std::chrono_literals;

// The process blocks the stop signals before any thread exists, as the tool's entry point does.
const bool signalsBlocked = [] {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGUSR2);
    return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}();

TEST(BoundedQueue, HandsItemsOverInOrderBlocksAFullProducerAndCloseReleasesItKeepingWhatWasQueued) {
    BoundedQueue<int> queue(2);
    std::atomic<int> pushed{0};
    std::thread producer([&] {
        for (int i = 0; i < 100; ++i) {
            ASSERT_TRUE(queue.push(i));
            pushed = i + 1;
        }
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_LE(pushed.load(), 3);  // two queued, at most one more waiting to be counted
    for (int i = 0; i < 98; ++i) EXPECT_EQ(queue.pop(), i);
    producer.join();
    auto blocked = std::async(std::launch::async, [&] { return queue.push(100); });  // the queue is full
    EXPECT_EQ(blocked.wait_for(50ms), std::future_status::timeout);
    queue.close();
    EXPECT_FALSE(blocked.get());
    EXPECT_EQ(queue.pop(), 98);
    EXPECT_EQ(queue.pop(), 99);
    EXPECT_EQ(queue.pop(), std::nullopt);
}

TEST(StopLatch, OnlyTheFirstOfManyConcurrentTriggersWinsAndEveryWaiterWakes) {
    StopLatch latch;
    std::atomic<int> winners{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) threads.emplace_back([&] { latch.wait(); });
    for (int i = 0; i < 8; ++i) threads.emplace_back([&] { winners += latch.trigger() ? 1 : 0; });
    for (auto& t : threads) t.join();
    EXPECT_EQ(winners.load(), 1);
    latch.wait();  // returns at once once set
}

TEST(StopTimer, ExpiresAfterItsTimeAndNeverAfterDestruction) {
    const std::pair<std::int64_t, bool> cases[] = {{0, true}, {-5, true}, {1, true}, {3600, false}, {kMaxTimerSeconds, false}};
    for (const auto& [seconds, expires] : cases) {
        std::promise<std::chrono::steady_clock::time_point> fired;
        auto when = fired.get_future();
        const auto begin = std::chrono::steady_clock::now();
        {
            StopTimer timer(seconds, [&] { fired.set_value(std::chrono::steady_clock::now()); });
            EXPECT_EQ(when.wait_for(seconds == 1 ? 5s : 300ms) == std::future_status::ready, expires) << seconds;
        }
        if (seconds == 1) {
            EXPECT_GE(when.get() - begin, 990ms);
        }
    }
}

// (A signal pending before the source starts is the recorder's stop test, also under TSan.)
TEST(SignalSource, DeliversOnTheMainThreadUntilCancelledLeavingLaterSignalsPending) {
    ASSERT_TRUE(signalsBlocked);
    test::ThreadMainQueue main;
    std::atomic<int> calls{0};
    std::atomic<bool> onMain{true};
    std::promise<void> first;
    {
        SignalSource source({SIGUSR2}, [&](int) {
            if (!main.onMainThread()) onMain = false;
            if (calls++ == 0) first.set_value();
        }, main.queue());
        ::kill(::getpid(), SIGUSR2);
        ASSERT_EQ(first.get_future().wait_for(5s), std::future_status::ready);
        source.cancel();
        ::kill(::getpid(), SIGUSR2);  // stays pending: blocked, and nobody reads it any more
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(calls.load(), 1);
    EXPECT_TRUE(onMain.load());
    std::promise<void> late;  // a new source takes the pending signal at once
    SignalSource again({SIGUSR2}, [&](int) { late.set_value(); }, main.queue());
    EXPECT_EQ(late.get_future().wait_for(5s), std::future_status::ready);
}

}  // namespace
}  // namespace kg::capture
