// The stop triggers of a recording (SIGUSR1, the maximum duration, triggerStop()) and the
// durations they give. Also run under ThreadSanitizer.

#include <signal.h>
#include <unistd.h>

#include "tests/capture/recorder_fixture.h"

namespace kg::test {
namespace {

// Each run ends by a different trigger: the maximum duration (0 still gives a frame, 2 lasts
// two seconds), and stop signals sent before start() (honoured when the wait begins; the
// ones after the first change nothing and do not end the process). stop() can be repeated.
TEST_F(RecorderTest, EachTriggerEndsTheRecordingOnceAndTheFileLastsUntilThen) {
    for (const auto& [maxSeconds, signals, expected] : {std::tuple<std::int64_t, int, double>{0, 0, 0.0}, {2, 0, 2.0}, {60, 3, 0.5}}) {
        SCOPED_TRACE(maxSeconds);
        auto recorder = create(Rect{0, 0, 320, 240}, "max" + std::to_string(maxSeconds) + ".mp4", {}, maxSeconds);
        for (int i = 0; i < signals; ++i) ::kill(::getpid(), SIGUSR1);
        recorder->start();
        if (signals) pause(0.5);
        const auto begin = std::chrono::steady_clock::now();
        recorder->waitForStop();
        const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        EXPECT_NEAR(waited, signals ? 0.0 : expected, 0.4);
        main_.queue()([recorder] { recorder->triggerStop(); });  // after the stop: changes nothing
        const ResultObject first = recorder->stop();
        const ResultObject second = recorder->stop();  // measures the same finished file again
        EXPECT_EQ(std::get<std::string>(*first.find("status")), "done");
        EXPECT_NEAR(std::get<double>(*first.find("duration")), expected, 0.4);
        EXPECT_EQ(std::get<std::int64_t>(*first.find("size")), std::get<std::int64_t>(*second.find("size")));
        EXPECT_GE(readMovie(path_).frameTimes.size(), 1u);
    }
}

}  // namespace
}  // namespace kg::test
