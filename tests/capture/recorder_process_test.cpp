// A recording as a process sees it.

#include <signal.h>

#include "tests/capture/recorder_fixture.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;

// On a full-screen moving picture (every frame carries data). (A write failure is covered by
// the full-disk run of `record`, tests/recorder_app/output_file_test.cpp.)
TEST_F(RecorderTest, AKilledRecordingStaysPlayableUpToItsLastTwoSeconds) {
    BackgroundProcess player({"ffplay", "-loglevel", "quiet", "-f", "lavfi", "-i", "testsrc2=s=1280x800:r=30",
                              "-left", "0", "-top", "0", "-noborder", "-an"},
                             xvfb_->clientOptions());
    std::this_thread::sleep_for(1s);
    path_ = dir_.file("killed.mp4");
    BackgroundProcess bench({KG_CAPTURE_BENCH, path_, "60"}, xvfb_->clientOptions());
    bench.waitForLines(1, 10s);
    const auto begin = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(4s);
    bench.signal(SIGKILL);
    const double killedAt = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_EQ(bench.wait(10s).termSignal, SIGKILL);
    const MovieSummary movie = readMovie(path_);
    ASSERT_TRUE(movie.readable);
    EXPECT_EQ(movie.width, 1280);
    ASSERT_FALSE(movie.frameTimes.empty());
    EXPECT_GE(movie.frameTimes.back(), killedAt - 2.0);
    EXPECT_GT(movie.frameTimes.size(), 20u);
}

}  // namespace
}  // namespace kg::test
