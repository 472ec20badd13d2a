// The stop triggers of a recording (SIGUSR1, the maximum duration, triggerStop()) and the
// durations they give. Also run under ThreadSanitizer.

#include <signal.h>
#include <unistd.h>

#include <future>

#include "tests/capture/recorder_fixture.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;

double secondsSince(std::chrono::steady_clock::time_point begin) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

TEST_F(RecorderTest, MaxSecondsEndsTheRecordingAndTheFileLastsThatLong) {
    struct Case {
        std::int64_t maxSeconds;
        double margin;
    };
    for (const auto& c : {Case{0, 0.3}, Case{2, 0.4}}) {
        SCOPED_TRACE(c.maxSeconds);
        auto recorder = create(Rect{0, 0, 320, 240}, {}, c.maxSeconds, "max" + std::to_string(c.maxSeconds) + ".mp4");
        recorder->start();
        const auto begin = std::chrono::steady_clock::now();
        recorder->waitForStop();
        EXPECT_NEAR(secondsSince(begin), static_cast<double>(c.maxSeconds), c.margin);
        const ResultObject result = recorder->stop();
        EXPECT_NEAR(std::get<double>(*result.find("duration")), static_cast<double>(c.maxSeconds), c.margin);
        MovieSummary movie = readMovie(path_);
        EXPECT_GE(movie.frameTimes.size(), 1u);
    }
}

TEST_F(RecorderTest, ThreeQuickStopSignalsGiveOneStopAndDoNotEndTheProcess) {
    auto recorder = create(Rect{0, 0, 320, 240});
    recorder->start();
    auto waiting = std::async(std::launch::async, [&] { recorder->waitForStop(); });
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(waiting.wait_for(0s), std::future_status::timeout);
    for (int i = 0; i < 3; ++i) ::kill(::getpid(), SIGUSR1);
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    waiting.get();
    // Triggers after the first do nothing, from any source.
    stopFromMain(recorder);
    ::kill(::getpid(), SIGUSR1);
    const ResultObject result = recorder->stop();
    EXPECT_EQ(std::get<std::string>(*result.find("status")), "done");
    EXPECT_GT(std::get<double>(*result.find("duration")), 0.2);
}

TEST_F(RecorderTest, AStopSignalSentBeforeTheWaitIsHonouredWhenItBegins) {
    auto recorder = create(Rect{0, 0, 320, 240});
    ::kill(::getpid(), SIGUSR1);  // even before start()
    recorder->start();
    std::this_thread::sleep_for(500ms);
    const auto begin = std::chrono::steady_clock::now();
    recorder->waitForStop();
    EXPECT_LT(secondsSince(begin), 2.0);
    EXPECT_NEAR(std::get<double>(*recorder->stop().find("duration")), 0.5, 0.3);
}

TEST_F(RecorderTest, AStopRequestedBeforeTheWaitEndsItAtOnceAndStopCanBeRepeated) {
    auto recorder = create(Rect{0, 0, 320, 240});
    recorder->start();
    std::promise<void> done;
    main_.queue()([&] {
        recorder->triggerStop();
        recorder->triggerStop();
        done.set_value();
    });
    done.get_future().wait();
    recorder->waitForStop();
    const ResultObject first = recorder->stop();
    const ResultObject second = recorder->stop();  // measures the same finished file again
    EXPECT_EQ(std::get<std::int64_t>(*first.find("size")), std::get<std::int64_t>(*second.find("size")));
}

TEST_F(RecorderTest, AnUnwritablePathFailsStartNamingThePathAndTheReason) {
    auto recorder = create(Rect{0, 0, 320, 240}, {}, 60, "missing/dir/movie.mp4");
    try {
        recorder->start();
        FAIL() << "start() accepted " << path_;
    } catch (const capture::CaptureError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot create " + path_ + ": No such file or directory");
    }
}

TEST_F(RecorderTest, ARegionThatCannotBeRecordedFailsCreation) {
    EXPECT_THROW(create(Rect{0, 0, 0.4, 100}), capture::CaptureError);
    EXPECT_THROW(create(Rect{0, 0, std::numeric_limits<double>::quiet_NaN(), 100}), capture::CaptureError);
}

}  // namespace
}  // namespace kg::test
