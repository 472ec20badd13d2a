// The threaded parts of the engine: the frame hand-over queue, the stop latch and timer, and
// the signal source. Also run under ThreadSanitizer.

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

TEST(BoundedQueue, HandsItemsOverInOrderAndBlocksTheProducerWhenFull) {
    BoundedQueue<int> queue(2);
    std::atomic<int> pushed{0};
    std::thread producer([&] {
        for (int i = 0; i < 100; ++i) {
            ASSERT_TRUE(queue.push(i));
            pushed = i + 1;
        }
        queue.close();
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_LE(pushed.load(), 3);  // two queued, at most one more waiting to be counted
    for (int i = 0; i < 100; ++i) EXPECT_EQ(queue.pop(), i);
    EXPECT_EQ(queue.pop(), std::nullopt);
    producer.join();
}

TEST(BoundedQueue, CloseReleasesABlockedProducerAndKeepsWhatWasQueued) {
    BoundedQueue<int> queue(1);
    ASSERT_TRUE(queue.push(1));
    auto blocked = std::async(std::launch::async, [&] { return queue.push(2); });
    EXPECT_EQ(blocked.wait_for(50ms), std::future_status::timeout);
    queue.close();
    EXPECT_FALSE(blocked.get());
    EXPECT_EQ(queue.pop(), 1);
    EXPECT_EQ(queue.pop(), std::nullopt);
}

TEST(StopLatch, OnlyTheFirstOfManyConcurrentTriggersWinsAndEveryWaiterWakes) {
    StopLatch latch;
    std::atomic<int> winners{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) waiters.emplace_back([&] { latch.wait(); });
    std::vector<std::thread> triggers;
    for (int i = 0; i < 8; ++i) triggers.emplace_back([&] { winners += latch.trigger() ? 1 : 0; });
    for (auto& t : triggers) t.join();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(winners.load(), 1);
    EXPECT_TRUE(latch.triggered());
    latch.wait();  // returns at once once set
}

TEST(StopTimer, ExpiresAfterItsTimeAndNeverAfterDestruction) {
    struct Case {
        std::int64_t seconds;
        bool expires;  // within the test's wait
    };
    const Case cases[] = {{0, true}, {-5, true}, {1, true}, {3600, false}, {kMaxTimerSeconds, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        std::promise<std::chrono::steady_clock::time_point> fired;
        auto when = fired.get_future();
        const auto begin = std::chrono::steady_clock::now();
        {
            StopTimer timer(c.seconds, [&] { fired.set_value(std::chrono::steady_clock::now()); });
            const auto status = when.wait_for(c.seconds == 1 ? 5s : 300ms);
            EXPECT_EQ(status == std::future_status::ready, c.expires);
        }
        if (c.expires && c.seconds == 1) {
            EXPECT_GE(when.get() - begin, 990ms);
        }
    }
}

TEST(SignalSource, DeliversOnTheMainThreadUntilCancelled) {
    test::ThreadMainQueue main;
    std::atomic<int> calls{0};
    std::atomic<bool> onMain{true};
    std::promise<void> first;
    {
        SignalSource source({SIGUSR2}, [&](int signo) {
            EXPECT_EQ(signo, SIGUSR2);
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
    // The signal sent after the cancel is still pending; a new source takes it at once.
    std::promise<void> late;
    SignalSource again({SIGUSR2}, [&](int) { late.set_value(); }, main.queue());
    EXPECT_EQ(late.get_future().wait_for(5s), std::future_status::ready);
}

TEST(SignalSource, ASignalThatArrivedBeforeTheSourceIsDeliveredWhenItStarts) {
    ASSERT_TRUE(signalsBlocked);
    ::kill(::getpid(), SIGUSR1);
    test::ThreadMainQueue main;
    std::promise<int> delivered;
    SignalSource source({SIGUSR1}, [&](int signo) { delivered.set_value(signo); }, main.queue());
    auto result = delivered.get_future();
    ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(result.get(), SIGUSR1);
}

}  // namespace
}  // namespace kg::capture
