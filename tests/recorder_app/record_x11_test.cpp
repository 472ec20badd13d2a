// `record` as a controlling program runs it: on a private X server with a known background,
// stopped by each of its stop paths, the frame moved and resized with real input, and every
// movie decoded to check that the recorded pixels show the screen and never our own windows.

#include <signal.h>

#include <gtest/gtest.h>

#include <memory>

#include "tests/capture/movie_reader.h"
#include "tests/capture/x11_test_scene.h"
#include "tests/support/process_runner.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xvfb.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kBackground = 0x3060a0;  // blue
constexpr std::uint32_t kTarget = 0x20c040;      // green
constexpr int kScreenW = 1280, kScreenH = 800;
const char* const kRegion = R"({"x":100,"y":100,"width":400,"height":300})";

class RecordCommand : public ::testing::Test {
protected:
    void SetUp() override {
        if (findProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
        xvfb_ = std::make_unique<XvfbServer>(kScreenW, kScreenH);
        scene_ = std::make_unique<X11TestScene>(xvfb_->display());
        scene_->addWindow(0, 0, kScreenW, kScreenH, kBackground);
    }

    // Starts `record` with the arguments; the movie goes to out.mp4 in the test's directory.
    std::unique_ptr<BackgroundProcess> startRecord(std::vector<std::string> args) {
        std::vector<std::string> argv = {KG_EXECUTABLE, "record", "--output", movie(), "--audio", "none"};
        argv.insert(argv.end(), args.begin(), args.end());
        ProcessOptions options = xvfb_->clientOptions();
        options.env["TMPDIR"] = dir_.path().string();
        auto process = std::make_unique<BackgroundProcess>(argv, options);
        const std::string out = process->waitForLines(1, 30s);
        EXPECT_NE(out.find(R"({"status":"recording","output":)"), std::string::npos) << out;
        return process;
    }

    // Waits for the end and checks the contract every run shares: exit status 0, nothing on
    // standard error, "recording" first and the final "done" object last.
    ProcessResult finish(BackgroundProcess& process) {
        ProcessResult result = process.wait(60s);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitStatus, 0) << result.out;
        EXPECT_EQ(result.err, "");
        const auto lines = result.lines();
        EXPECT_GE(lines.size(), 2u) << result.out;
        if (lines.size() >= 2) {
            EXPECT_EQ(lines.front().value("status", ""), "recording");
            EXPECT_EQ(lines.front().value("output", ""), movie());
            const auto& last = lines.back();
            EXPECT_EQ(last.value("status", ""), "done") << result.out;
            EXPECT_EQ(last.value("path", ""), movie());
            EXPECT_GT(last.value("size", 0), 0);
            EXPECT_TRUE(last.contains("duration") && last["duration"].is_number());
        }
        return result;
    }

    void xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        const auto r = xvfb_->run(args);
        ASSERT_EQ(r.exitStatus, 0) << r.err;
    }
    // Presses at (x, y), moves to (x + dx, y + dy) in steps, releases (X coordinates: y down).
    void drag(int x, int y, int dx, int dy) {
        xdotool({"mousemove", std::to_string(x), std::to_string(y)});
        xdotool({"mousedown", "1"});
        for (int step = 1; step <= 8; ++step) {
            xdotool({"mousemove", std::to_string(x + dx * step / 8), std::to_string(y + dy * step / 8)});
            std::this_thread::sleep_for(30ms);
        }
        xdotool({"mouseup", "1"});
        // Out of the way, so that the recorded cursor does not cover the pixels checked.
        xdotool({"mousemove", "1270", "790"});
    }

    // Colour of the screen at (x, y) right now, read back through a one-frame grab.
    Rgb screenPixel(int x, int y) {
        const std::string shot = dir_.file("screen.mp4");
        const auto r = runProcess({findProgram("ffmpeg"), "-loglevel", "quiet", "-y", "-f", "x11grab", "-draw_mouse", "0",
                                   "-video_size", "1280x800", "-i", xvfb_->display(), "-frames:v", "1", "-c:v", "libx264",
                                   "-qp", "0", "-pix_fmt", "yuv444p", shot});
        EXPECT_EQ(r.exitStatus, 0);
        Rgb color;
        readMovie(shot, [&](const DecodedFrame& f) { color = f.at(x, y); });
        return color;
    }

    // Every decoded frame, with the last one kept for pixel checks.
    MovieSummary decode(DecodedFrame* last = nullptr) {
        return readMovie(movie(), [&](const DecodedFrame& f) {
            if (last) *last = f;
        });
    }

    // Stops a recording of kRegion with SIGUSR1 and decodes its last frame, checking that the
    // movie kept the region's 400 x 300 size whatever the frame was moved or resized to. Call it
    // through ASSERT_NO_FATAL_FAILURE.
    void stopAndDecodeRegionMovie(BackgroundProcess& process, DecodedFrame& last) {
        process.signal(SIGUSR1);
        finish(process);
        const MovieSummary summary = decode(&last);
        ASSERT_TRUE(summary.readable);
        EXPECT_EQ(summary.width, 400);
        EXPECT_EQ(summary.height, 300);
    }

    std::string movie() const { return dir_.file("out.mp4"); }

    TempDir dir_;
    std::unique_ptr<XvfbServer> xvfb_;
    std::unique_ptr<X11TestScene> scene_;
};

// Pixels all around a frame's edge and in its corners (where the handles overlap the region)
// show only the background: neither the red frame, the handles nor the bar were recorded.
void expectOnlyBackground(const DecodedFrame& frame, std::uint32_t background) {
    const int w = frame.width, h = frame.height;
    const std::pair<int, int> probes[] = {{0, 0}, {5, 5}, {w - 1, 0}, {w - 6, 5}, {0, h - 1}, {5, h - 6},
                                          {w - 1, h - 1}, {w - 6, h - 6}, {w / 2, 0}, {w / 2, h - 1},
                                          {0, h / 2}, {w - 1, h / 2}, {w / 3, h / 3}};
    for (const auto& [x, y] : probes) {
        const Rgb c = frame.at(x, y);
        EXPECT_TRUE(near(c, background)) << "at (" << x << ", " << y << "): " << c.r << "," << c.g << "," << c.b;
    }
}

TEST_F(RecordCommand, StopCommandEndsARegionRecordingWithoutOurWindowsInIt) {
    auto process = startRecord({"--region", kRegion, "--max-seconds", "60"});
    // The frame and bar are on the screen meanwhile: red at the frame's top edge.
    const Rgb frameEdge = screenPixel(300, 98);
    EXPECT_GT(frameEdge.r, 200);
    EXPECT_LT(frameEdge.g, 100);

    writeFile(dir_.file("kestrelgrain-recording.pid"), std::to_string(process->pid()) + "\n");
    ProcessOptions options;
    options.env["TMPDIR"] = dir_.path().string();
    const auto stop = runProcess({KG_EXECUTABLE, "stop"}, options);
    EXPECT_EQ(stop.exitStatus, 0);
    EXPECT_EQ(stop.out, R"({"status":"stop_signal_sent","pid":)" + std::to_string(process->pid()) + "}\n");

    finish(*process);
    DecodedFrame last;
    const MovieSummary summary = decode(&last);
    ASSERT_TRUE(summary.readable);
    EXPECT_EQ(summary.codec, "h264");
    EXPECT_EQ(summary.width, 400);
    EXPECT_EQ(summary.height, 300);
    expectOnlyBackground(last, kBackground);
}

TEST_F(RecordCommand, StopButtonEndsTheRecording) {
    auto process = startRecord({"--region", kRegion, "--max-seconds", "60"});
    std::this_thread::sleep_for(500ms);
    // The bar sits 10 points below the region, centred: x 200..400, y 410..450 (X coordinates);
    // Stop is its first button, 10 points from the left.
    xdotool({"mousemove", "224", "430"});
    xdotool({"click", "1"});
    const auto result = finish(*process);
    EXPECT_EQ(result.lines().size(), 2u) << result.out;
    EXPECT_TRUE(decode().readable);
}

TEST_F(RecordCommand, MaxSecondsEndsTheRecordingOnTime) {
    // Unknown arguments are skipped, even those the toolkit would take as its own.
    auto process = startRecord({"--region", kRegion, "--max-seconds", "2", "-display", ":9999", "-platform", "offscreen"});
    const auto result = finish(*process);
    const double duration = result.lines().back().value("duration", 0.0);
    EXPECT_NEAR(duration, 2.0, 0.5);
    const MovieSummary summary = decode();
    EXPECT_NEAR(summary.durationSeconds, 2.0, 0.5);
}

TEST_F(RecordCommand, InterruptFinishesTheFileInsteadOfLosingIt) {
    for (const int signo : {SIGINT, SIGTERM, SIGHUP}) {
        auto process = startRecord({"--region", kRegion, "--max-seconds", "60"});
        std::this_thread::sleep_for(1s);
        process->signal(signo);
        finish(*process);
        const MovieSummary summary = decode();
        ASSERT_TRUE(summary.readable) << "signal " << signo;
        EXPECT_GE(summary.durationSeconds, 0.8);
    }
}

TEST_F(RecordCommand, MovingTheFrameMovesTheCaptureAndTheBarButKeepsTheSize) {
    scene_->addWindow(600, 100, 400, 300, kTarget);
    auto process = startRecord({"--region", kRegion, "--max-seconds", "60"});
    std::this_thread::sleep_for(500ms);
    // Press on the red frame's top edge (between the handles) and move it 500 points right,
    // over the green window.
    drag(300, 98, 500, 0);
    std::this_thread::sleep_for(1500ms);
    // The bar followed: centred under the new region at x 700..900.
    const Rgb bar = screenPixel(890, 430);
    EXPECT_LT(bar.r + bar.g + bar.b, 150) << "dark bar background expected";
    DecodedFrame last;
    ASSERT_NO_FATAL_FAILURE(stopAndDecodeRegionMovie(*process, last));
    expectOnlyBackground(last, kTarget);
}

TEST_F(RecordCommand, ResizingByACornerScalesTheNewRegionIntoTheFixedFrame) {
    scene_->addWindow(500, 100, 300, 300, kTarget);  // just right of the region
    auto process = startRecord({"--region", kRegion, "--max-seconds", "60"});
    std::this_thread::sleep_for(500ms);
    // The lower-right handle sits at the window's corner (503, 403); drag it 200 points right:
    // the region becomes 600 x 300 and its right third is green.
    drag(496, 396, 200, 0);
    std::this_thread::sleep_for(1500ms);
    DecodedFrame last;
    ASSERT_NO_FATAL_FAILURE(stopAndDecodeRegionMovie(*process, last));
    EXPECT_TRUE(near(last.at(100, 150), kBackground));
    EXPECT_TRUE(near(last.at(340, 150), kTarget));
}

TEST_F(RecordCommand, WithoutRegionRecordsTheFirstDisplayWithNoWindowsShown) {
    auto process = startRecord({"--max-seconds", "2"});
    // Nothing of ours on the screen: where a frame would be, the background.
    EXPECT_TRUE(near(screenPixel(98, 98), kBackground));
    finish(*process);
    DecodedFrame last;
    const MovieSummary summary = decode(&last);
    ASSERT_TRUE(summary.readable);
    EXPECT_EQ(summary.width, kScreenW);
    EXPECT_EQ(summary.height, kScreenH);
    expectOnlyBackground(last, kBackground);
}

TEST_F(RecordCommand, AFailedStartPrintsOnlyTheErrorAndClosesTheWindows) {
    std::vector<std::string> argv = {KG_EXECUTABLE, "record", "--region", kRegion, "--audio", "none",
                                     "--output", dir_.file("missing/out.mp4")};
    const auto result = runProcess(argv, xvfb_->clientOptions());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    const auto lines = result.lines();
    ASSERT_EQ(lines.size(), 1u) << result.out;
    EXPECT_NE(lines[0].value("error", "").find("missing/out.mp4"), std::string::npos) << result.out;
    // Nothing of ours is left on the screen once the process has ended.
    EXPECT_TRUE(near(screenPixel(300, 98), kBackground));
}

TEST(RecordWithoutDisplay, ReportsThatTheDisplayCannotBeOpened) {
    ProcessOptions options;
    options.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
    options.env["QT_QPA_PLATFORM"] = "xcb";
    const auto result = runProcess({KG_EXECUTABLE, "record", "--max-seconds", "1"}, options);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "{\"error\":\"cannot open display\"}\n");
    EXPECT_EQ(result.err, "");
}

}  // namespace
}  // namespace kg::test
