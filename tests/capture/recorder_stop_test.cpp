// The stop triggers of a recording (SIGUSR1, the maximum duration, triggerStop()), the
// durations they give, and set-up failures. Also run under ThreadSanitizer.

#include <signal.h>
#include <unistd.h>

#include <future>

#include "tests/capture/recorder_fixture.h"

namespace kg::test {
namespace {

double secondsSince(std::chrono::steady_clock::time_point begin) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

TEST_F(RecorderTest, MaxSecondsEndsTheRecordingAndTheFileLastsThatLong) {
    for (const auto& [maxSeconds, margin] : {std::pair<std::int64_t, double>{0, 0.3}, {2, 0.4}}) {
        SCOPED_TRACE(maxSeconds);
        auto recorder = create(Rect{0, 0, 320, 240}, {}, maxSeconds, "max" + std::to_string(maxSeconds) + ".mp4");
        recorder->start();
        const auto begin = std::chrono::steady_clock::now();
        recorder->waitForStop();
        EXPECT_NEAR(secondsSince(begin), static_cast<double>(maxSeconds), margin);
        EXPECT_NEAR(std::get<double>(*recorder->stop().find("duration")), static_cast<double>(maxSeconds), margin);
        EXPECT_GE(readMovie(path_).frameTimes.size(), 1u);
    }
}

// A signal sent before start() is honoured when the wait begins; the triggers that follow,
// from any source, change nothing and do not end the process; stop() can be repeated.
TEST_F(RecorderTest, EarlyAndRepeatedStopTriggersGiveOneStop) {
    auto recorder = create(Rect{0, 0, 320, 240});
    ::kill(::getpid(), SIGUSR1);
    recorder->start();
    pause(0.5);
    const auto begin = std::chrono::steady_clock::now();
    recorder->waitForStop();
    EXPECT_LT(secondsSince(begin), 1.0);
    for (int i = 0; i < 3; ++i) ::kill(::getpid(), SIGUSR1);
    std::promise<void> done;
    main_.queue()([&] {
        recorder->triggerStop();
        recorder->triggerStop();
        done.set_value();
    });
    done.get_future().wait();
    const ResultObject first = recorder->stop();
    const ResultObject second = recorder->stop();  // measures the same finished file again
    EXPECT_EQ(std::get<std::string>(*first.find("status")), "done");
    EXPECT_NEAR(std::get<double>(*first.find("duration")), 0.5, 0.3);
    EXPECT_EQ(std::get<std::int64_t>(*first.find("size")), std::get<std::int64_t>(*second.find("size")));
}

TEST_F(RecorderTest, AnUnwritablePathFailsStartAndARegionThatCannotBeRecordedFailsCreation) {
    auto recorder = create(Rect{0, 0, 320, 240}, {}, 60, "missing/dir/movie.mp4");
    try {
        recorder->start();
        FAIL() << "start() accepted " << path_;
    } catch (const capture::CaptureError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot create " + path_ + ": No such file or directory");
    }
    EXPECT_THROW(create(Rect{0, 0, 0.4, 100}), capture::CaptureError);
    EXPECT_THROW(create(Rect{0, 0, std::numeric_limits<double>::quiet_NaN(), 100}), capture::CaptureError);
}

}  // namespace
}  // namespace kg::test
