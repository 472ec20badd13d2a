// A recording as a process sees it: a write limit reached mid-recording, and SIGKILL.

#include <signal.h>

#include "tests/capture/recorder_fixture.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;

// A full-screen moving picture, so that every frame carries data.
std::unique_ptr<BackgroundProcess> animation(const XvfbServer& xvfb) {
    auto player = std::make_unique<BackgroundProcess>(std::vector<std::string>{findProgram("ffplay"), "-loglevel", "quiet", "-f", "lavfi", "-i", "testsrc2=s=1280x800:r=30", "-left", "0",
                              "-top", "0", "-noborder", "-an"},
                             xvfb.clientOptions());
    std::this_thread::sleep_for(1s);
    return player;
}

TEST_F(RecorderTest, AWriteLimitReportsTheFailureOnceAndStillGivesAResultAndAPlayableFile) {
    const auto player = animation(*xvfb_);
    path_ = dir_.file("limited.mp4");
    ProcessOptions options = xvfb_->clientOptions();
    // 1 MiB of file, and SIGXFSZ ignored so that the write fails with EFBIG instead.
    BackgroundProcess bench({"/bin/sh", "-c", "ulimit -f 1024; trap '' XFSZ; exec \"$0\" \"$1\" 4", KG_CAPTURE_BENCH, path_},
                            options);
    const ProcessResult result = bench.wait(30s);
    ASSERT_EQ(result.exitStatus, 0) << result.out;
    EXPECT_TRUE(result.err.empty()) << result.err;
    const auto lines = result.lines();
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[0].value("status", ""), "recording");
    EXPECT_EQ(lines[1].value("error", ""), "recording failed: File too large");
    EXPECT_EQ(lines[2].value("status", ""), "done");
    const MovieSummary movie = readMovie(path_);
    ASSERT_TRUE(movie.readable);
    EXPECT_GE(movie.frameTimes.size(), 5u);
    EXPECT_LE(std::filesystem::file_size(path_), 1024u * 1024);
}

TEST_F(RecorderTest, ARecordingKilledWithSigkillStaysPlayableUpToItsLastTwoSeconds) {
    const auto player = animation(*xvfb_);
    path_ = dir_.file("killed.mp4");
    BackgroundProcess bench({KG_CAPTURE_BENCH, path_, "60"}, xvfb_->clientOptions());
    bench.waitForLines(1, 10s);
    const auto begin = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(4s);
    bench.signal(SIGKILL);
    const double killedAt = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const ProcessResult result = bench.wait(10s);
    EXPECT_EQ(result.termSignal, SIGKILL);
    const MovieSummary movie = readMovie(path_);
    ASSERT_TRUE(movie.readable);
    EXPECT_EQ(movie.width, 1280);
    ASSERT_FALSE(movie.frameTimes.empty());
    EXPECT_GE(movie.frameTimes.back(), killedAt - 2.0);
    EXPECT_GT(movie.frameTimes.size(), 20u);
}

}  // namespace
}  // namespace kg::test
