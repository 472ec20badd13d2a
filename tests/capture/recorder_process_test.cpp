// A recording as a process sees it: a write limit reached mid-recording, and SIGKILL.

#include <signal.h>

#include <atomic>
#include <random>

#include "tests/capture/recorder_fixture.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;

// Recolours a grid of windows several times a second so that every frame carries data.
class Animation {
public:
    explicit Animation(X11TestScene& scene) {
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) windows_.push_back(scene.addWindow(x * 160, y * 100, 150, 90, kRed));
        thread_ = std::thread([this, &scene] {
            std::mt19937 random(7);
            while (!stop_) {
                for (auto w : windows_) scene.setColor(w, random() & 0xffffff);
                std::this_thread::sleep_for(40ms);
            }
        });
    }
    ~Animation() {
        stop_ = true;
        thread_.join();
    }

private:
    std::vector<std::uint32_t> windows_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST_F(RecorderTest, AWriteLimitReportsTheFailureOnceAndStillGivesAResultAndAPlayableFile) {
    Animation animation(*scene_);
    path_ = dir_.file("limited.mp4");
    ProcessOptions options = xvfb_->clientOptions();
    // 256 KiB of file, and SIGXFSZ ignored so that the write fails with EFBIG instead.
    BackgroundProcess bench({"/bin/sh", "-c", "ulimit -f 256; trap '' XFSZ; exec \"$0\" \"$1\" 4", KG_CAPTURE_BENCH, path_},
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
    EXPECT_LE(std::filesystem::file_size(path_), 256u * 1024);
}

TEST_F(RecorderTest, ARecordingKilledWithSigkillStaysPlayableUpToItsLastTwoSeconds) {
    Animation animation(*scene_);
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
