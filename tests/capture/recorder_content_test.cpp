// What the recordings hold, decoded: size, pixels under the rectangle, the cursor, the
// excluded windows, a moved region, and timing of a mostly still screen.

#include <algorithm>

#include "tests/capture/recorder_fixture.h"

namespace kg::test {
namespace {

using capture::ScreenRecorder;

TEST_F(RecorderTest, TheFileHasTheRegionsTruncatedSizeRoundedUpToEvenOrTheDisplaysSize) {
    struct Case {
        std::optional<Rect> region;
        int width, height;
    };
    const Case cases[] = {
        {std::nullopt, 1280, 800},
        {Rect{10.5, 20.25, 640.7, 360.2}, 640, 360},
        {Rect{10.5, 20.25, 641, 361}, 642, 362},
        {Rect{900, 700, -300.5, -201}, 300, 202},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(index);
        auto recorder = create(c.region, {}, 60, "size" + std::to_string(index++) + ".mp4");
        EXPECT_EQ(recorder->outputWidth(), c.width);
        EXPECT_EQ(recorder->outputHeight(), c.height);
        recorder->start();
        pause(0.3);
        stopFromMain(recorder);
        recorder->waitForStop();
        const ResultObject result = recorder->stop();
        MovieSummary movie;
        const DecodedFrame last = lastFrame(&movie);
        EXPECT_EQ(movie.codec, "h264");
        EXPECT_EQ(movie.width, c.width);
        EXPECT_EQ(movie.height, c.height);
        ASSERT_FALSE(movie.frameTimes.empty());
        EXPECT_TRUE(near(last.at(c.width / 4, c.height / 4), kGrey));  // off the pointer in the middle
        EXPECT_EQ(std::get<std::string>(*result.find("status")), "done");
        EXPECT_EQ(std::get<std::string>(*result.find("path")), path_);
        EXPECT_GT(std::get<std::int64_t>(*result.find("size")), 0);
        EXPECT_NEAR(std::get<double>(*result.find("duration")), 0.3, 0.25);
    }
}

TEST_F(RecorderTest, PixelsMatchTheWindowsUnderTheRectangleAndOffScreenPartsAreBlack) {
    scene_->addWindow(100, 100, 300, 200, kRed);
    scene_->addWindow(500, 300, 300, 200, kBlue);
    // The region starts 50 points left of the screen: that strip is black.
    auto recorder = create(Rect{-50, 80, 900, 500});
    recorder->start();
    pause(0.5);
    stopFromMain(recorder);
    recorder->waitForStop();
    recorder->stop();
    const DecodedFrame f = lastFrame();
    ASSERT_EQ(f.width, 900);
    // Frame pixel = root pixel - (-50, 80).
    struct Probe {
        int rootX, rootY;
        std::uint32_t rgb;
    };
    const Probe probes[] = {{250, 200, kRed}, {650, 400, kBlue}, {450, 250, kGrey}, {-25, 300, 0x000000},
                            {102, 102, kRed}, {797, 497, kBlue}};
    for (const auto& p : probes) {
        const Rgb got = f.at(p.rootX + 50, p.rootY - 80);
        EXPECT_TRUE(near(got, p.rgb)) << p.rootX << "," << p.rootY << " = " << got.r << " " << got.g << " " << got.b;
    }
}

TEST_F(RecorderTest, ExcludedWindowsNeverAppearWhileOthersOverTheRectangleDo) {
    scene_->addWindow(100, 100, 300, 200, kRed);
    scene_->addWindow(500, 300, 300, 200, kBlue);
    // Like the overlay's corner handles: excluded squares over the region's corners, one half
    // over the red window, one over the blue one; a yellow window that is not excluded; and
    // a green window (not excluded) partly above an excluded one, which must stay on top.
    const std::uint32_t handleTopLeft = scene_->addWindow(60, 60, 60, 60, kMagenta);
    const std::uint32_t handleBottomRight = scene_->addWindow(760, 460, 60, 60, kMagenta);
    scene_->addWindow(600, 200, 60, 60, kYellow);
    const std::uint32_t bar = scene_->addWindow(300, 380, 200, 40, kMagenta);
    scene_->addWindow(450, 390, 100, 20, kGreen);
    auto recorder = create(Rect{90, 90, 700, 400}, {handleTopLeft, handleBottomRight, bar, handleTopLeft, 0x7fffffff});
    EXPECT_EQ(recorder->excludedWindows().size(), 3u);
    recorder->start();
    pause(0.3);
    scene_->move(handleBottomRight, 770, 470);  // moving while recording: still left out
    pause(0.4);
    stopFromMain(recorder);
    recorder->waitForStop();
    recorder->stop();
    int magentaFrames = 0, frames = 0;
    DecodedFrame last;
    readMovie(path_, [&](const DecodedFrame& f) {
        ++frames;
        last = f;
        for (int y = 0; y < f.height; y += 4)
            for (int x = 0; x < f.width; x += 4)
                if (near(f.at(x, y), kMagenta, 40)) {
                    ++magentaFrames;
                    return;
                }
    });
    ASSERT_GT(frames, 0);
    EXPECT_EQ(magentaFrames, 0);
    struct Probe {
        int rootX, rootY;
        std::uint32_t rgb;
    };
    const Probe probes[] = {
        {95, 95, kGrey},    {110, 110, kRed},   {780, 480, kBlue}, {785, 470, kBlue}, {630, 230, kYellow},
        {320, 400, kGrey},  {400, 400, kGrey},  {480, 400, kGreen}, {540, 395, kGreen}, {495, 418, kGrey},
    };
    for (const auto& p : probes) {
        const Rgb got = last.at(p.rootX - 90, p.rootY - 90);
        EXPECT_TRUE(near(got, p.rgb)) << p.rootX << "," << p.rootY << " = " << got.r << " " << got.g << " " << got.b;
    }
}

TEST_F(RecorderTest, TheCursorIsDrawnWhereThePointerIs) {
    scene_->addWindow(100, 100, 400, 300, kRed);
    ASSERT_EQ(xvfb_->run({"xdotool", "mousemove", "1000", "700"}).exitStatus, 0);
    auto recorder = create(Rect{100, 100, 400, 300});
    recorder->start();
    pause(0.3);
    ASSERT_EQ(xvfb_->run({"xdotool", "mousemove", "300", "250"}).exitStatus, 0);
    pause(0.4);
    stopFromMain(recorder);
    recorder->waitForStop();
    recorder->stop();
    std::vector<DecodedFrame> frames;
    readMovie(path_, [&](const DecodedFrame& f) { frames.push_back(f); });
    ASSERT_GE(frames.size(), 2u);
    auto cursorPixels = [](const DecodedFrame& f) {
        int count = 0;
        for (int y = 140; y < 170; ++y)
            for (int x = 190; x < 220; ++x) count += near(f.at(x, y), kRed, 60) ? 0 : 1;
        return count;
    };
    EXPECT_EQ(cursorPixels(frames.front()), 0);  // pointer still outside the rectangle
    EXPECT_GT(cursorPixels(frames.back()), 10);
}

TEST_F(RecorderTest, UpdateRegionMovesTheContentAndKeepsTheFrameSizeScalingAnotherSize) {
    scene_->addWindow(100, 100, 200, 150, kRed);
    scene_->addWindow(500, 300, 400, 300, kBlue);
    auto recorder = create(Rect{100, 100, 200, 150});
    recorder->start();
    pause(0.5);
    recorder->updateRegion(Rect{500, 300, 400, 300});  // twice the size, all blue
    EXPECT_THROW(recorder->updateRegion(Rect{0, 0, 0.5, 10}), capture::CaptureError);
    pause(0.5);
    stopFromMain(recorder);
    recorder->waitForStop();
    recorder->stop();
    std::vector<DecodedFrame> frames;
    MovieSummary movie = readMovie(path_, [&](const DecodedFrame& f) { frames.push_back(f); });
    EXPECT_EQ(movie.width, 200);
    EXPECT_EQ(movie.height, 150);
    ASSERT_GE(frames.size(), 2u);
    for (auto [x, y] : {std::pair{2, 2}, {197, 2}, {100, 75}, {2, 147}, {197, 147}}) {
        EXPECT_TRUE(near(frames.front().at(x, y), kRed)) << x << "," << y;
        EXPECT_TRUE(near(frames.back().at(x, y), kBlue)) << x << "," << y;
    }
    const auto firstBlue = std::find_if(frames.begin(), frames.end(), [](const DecodedFrame& f) {
        return near(f.at(100, 75), kBlue);
    });
    ASSERT_NE(firstBlue, frames.end());
    EXPECT_NEAR(firstBlue->seconds, 0.5, 0.2);
}

TEST_F(RecorderTest, AStillScreenGivesFewFramesYetTheFullDurationAndALateChangeAtItsTrueTime) {
    const std::uint32_t window = scene_->addWindow(200, 200, 200, 200, kRed);
    ASSERT_EQ(xvfb_->run({"xdotool", "mousemove", "1200", "750"}).exitStatus, 0);
    auto recorder = create(Rect{100, 100, 600, 400});
    recorder->start();
    const auto begin = std::chrono::steady_clock::now();
    pause(2.5);
    scene_->setColor(window, kGreen);
    const double changedAt = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    pause(1.5);
    stopFromMain(recorder);
    recorder->waitForStop();
    const ResultObject result = recorder->stop();
    const double duration = std::get<double>(*result.find("duration"));
    std::vector<std::pair<double, bool>> frames;  // time, green
    MovieSummary movie = readMovie(path_, [&](const DecodedFrame& f) { frames.emplace_back(f.seconds, near(f.at(200, 200), kGreen)); });
    EXPECT_NEAR(duration, 4.0, 0.35);
    EXPECT_NEAR(movie.durationSeconds, duration, 0.01);
    // Four seconds at 30 per second would be 120 frames; a still screen is refreshed once a second.
    EXPECT_LE(frames.size(), 12u);
    const auto firstGreen = std::find_if(frames.begin(), frames.end(), [](const auto& f) { return f.second; });
    ASSERT_NE(firstGreen, frames.end());
    EXPECT_NEAR(firstGreen->first, changedAt, 0.15);
    EXPECT_FALSE(frames.front().second);
}

}  // namespace
}  // namespace kg::test
