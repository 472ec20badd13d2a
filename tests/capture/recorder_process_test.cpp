// A recording as a process sees it.

#include <signal.h>

#include "tests/capture/recorder_fixture.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;

// On a full-screen moving picture (every frame carries data): a write limit reached
// mid-recording, then a recording killed with SIGKILL.
TEST_F(RecorderTest, AWriteLimitFailsOnceWithAResultAndAKilledRecordingStaysPlayableUpToItsLastTwoSeconds) {
    BackgroundProcess player({findProgram("ffplay"), "-loglevel", "quiet", "-f", "lavfi", "-i", "testsrc2=s=1280x800:r=30",
                              "-left", "0", "-top", "0", "-noborder", "-an"},
                             xvfb_->clientOptions());
    std::this_thread::sleep_for(1s);
    path_ = dir_.file("limited.mp4");
    // 1 MiB of file, and SIGXFSZ ignored so that the write fails with EFBIG instead.
    BackgroundProcess limited({"/bin/sh", "-c", "ulimit -f 1024; trap '' XFSZ; exec \"$0\" \"$1\" 4", KG_CAPTURE_BENCH, path_},
                              xvfb_->clientOptions());
    const ProcessResult result = limited.wait(30s);
    ASSERT_EQ(result.exitStatus, 0) << result.out;
    EXPECT_TRUE(result.err.empty()) << result.err;
    const auto lines = result.lines();
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[0].value("status", ""), "recording");
    EXPECT_EQ(lines[1].value("error", ""), "recording failed: File too large");
    EXPECT_EQ(lines[2].value("status", ""), "done");
    MovieSummary movie = readMovie(path_);
    ASSERT_TRUE(movie.readable);
    EXPECT_GE(movie.frameTimes.size(), 5u);
    EXPECT_LE(std::filesystem::file_size(path_), 1024u * 1024);

    path_ = dir_.file("killed.mp4");
    BackgroundProcess bench({KG_CAPTURE_BENCH, path_, "60"}, xvfb_->clientOptions());
    bench.waitForLines(1, 10s);
    const auto begin = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(4s);
    bench.signal(SIGKILL);
    const double killedAt = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_EQ(bench.wait(10s).termSignal, SIGKILL);
    movie = readMovie(path_);
    ASSERT_TRUE(movie.readable);
    EXPECT_EQ(movie.width, 1280);
    ASSERT_FALSE(movie.frameTimes.empty());
    EXPECT_GE(movie.frameTimes.back(), killedAt - 2.0);
    EXPECT_GT(movie.frameTimes.size(), 20u);
}

}  // namespace
}  // namespace kg::test
