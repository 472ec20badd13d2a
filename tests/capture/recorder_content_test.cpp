// What the recordings hold, decoded: size, pixels, our own windows left out on every desktop,
// a moved region, the cursor, and timing of a mostly still screen.

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/capture/recorder_fixture.h"

namespace kg::test {
namespace {

class DesktopRecorderTest : public RecorderTest, public testing::WithParamInterface<Desktop> {
protected:
    DesktopRecorderTest() { desktopKind_ = GetParam(); }
};

// Only the pixels our windows draw are left out, and what they cover is shown as the screen
// shows it without them: each frame equals a grab taken before they appeared (wallpaper,
// windows, a translucent window, a compositing manager's shadows), also while the overlay is
// dragged over the region (the compositing manager may still show it at its old place),
// after a window moved under a handle and away again, and after a window under the bar
// changed colour.
TEST_P(DesktopRecorderTest, EveryFrameIsTheScreenWithoutOurWindows) {
    constexpr int kX = 200, kY = 150, kW = 480, kH = 320;
    scene_->addWindow(150, 100, 250, 200, kBlue);      // under the top-left handle
    scene_->addWindow(560, 330, 200, 200, kRed, 128);  // translucent, under the bottom-right one
    const std::uint32_t changing = scene_->addWindow(420, 380, 120, 60, kYellow);  // partly under the bar
    const std::uint32_t late = scene_->addWindow(-100, -100, 60, 40, kGreen);      // comes under the top-right handle
    pointerAt(1270, 790);
    auto grab = [&] {
        pause(0.3);  // a compositing manager's shadows settle
        return scene_->grab(kX, kY, kW, kH);
    };
    std::vector<std::vector<std::uint32_t>> states{grab()};
    scene_->move(late, 650, 140);
    states.push_back(grab());
    scene_->setColor(changing, kGreen);
    states.push_back(grab());
    scene_->move(late, -100, -100);
    states.push_back(grab());
    scene_->setColor(changing, kYellow);
    const std::uint32_t overlay = scene_->addOverlay(kX, kY, kW, kH);
    const std::uint32_t bar = scene_->addBar(kX + 140, kY + 250);  // inside the region: no room around it
    auto recorder = create(Rect{kX, kY, kW, kH}, "movie.mp4", {overlay, bar});
    recorder->start();
    pause(0.4);
    for (int step = 1; step <= 20; ++step) {  // a drag: band and handles across the region
        scene_->move(overlay, kX - 3 + 2 * step, kY - 3 + 3 * step / 2);
        pause(0.01);
    }
    pause(0.3);
    scene_->move(overlay, kX - 3, kY - 3);  // a jump back
    pause(0.3);
    scene_->move(late, 650, 140);
    pause(0.3);
    scene_->setColor(changing, kGreen);
    pause(0.3);
    scene_->move(late, -100, -100);  // leaves what was under the handle to the root
    pause(0.3);
    stopFromMain(recorder);
    const auto all = frames();
    ASSERT_GE(all.size(), 3u);
    std::string firstWrong;
    auto wrongPixels = [&](const DecodedFrame& f, const std::vector<std::uint32_t>& screen) {
        int wrong = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const std::uint32_t want = screen[static_cast<std::size_t>(y) * kW + x];
                if (near(f.at(x, y), want, 40)) continue;
                if (wrong++ == 0) {
                    const Rgb c = f.at(x, y);
                    char text[64];
                    std::snprintf(text, sizeof text, "(%d, %d) is %02x%02x%02x for %06x", x, y, c.r, c.g, c.b, want & 0xffffff);
                    firstWrong = text;
                }
            }
        return wrong;
    };
    for (const DecodedFrame& f : all) {
        int fewest = kW * kH;
        std::string where;
        for (const auto& screen : states)
            if (const int wrong = wrongPixels(f, screen); wrong < fewest) fewest = wrong, where = firstWrong;
        EXPECT_EQ(fewest, 0) << "frame at " << f.seconds << " s, first " << where;
    }
    EXPECT_EQ(wrongPixels(all.back(), states.back()), 0);
}

INSTANTIATE_TEST_SUITE_P(Desktops, DesktopRecorderTest,
                         testing::Values(Desktop::Bare, Desktop::Openbox, Desktop::OpenboxPicom, Desktop::Xfwm4),
                         [](const auto& info) { return desktopName(info.param); });

// The first region reaches off the screen (black there) and has an odd width (the file's is
// rounded up to even); the second has twice its size, all blue, and is scaled to the file's
// size; the pointer enters it and the cursor is drawn there, scaled with the frame. (The
// arithmetic of other sizes is the geometry unit test's; the whole display is the app's test.)
TEST_F(RecorderTest, UpdateRegionMovesTheContentKeepsTheFrameSizeScalingAnotherSizeAndDrawsTheCursor) {
    scene_->addWindow(100, 100, 200, 150, kRed);
    scene_->addWindow(500, 300, 704, 300, kBlue);
    pointerAt(1270, 790);
    auto recorder = create(Rect{-50, 100, 351, 150});
    EXPECT_EQ(recorder->outputWidth(), 352);
    EXPECT_EQ(recorder->outputHeight(), 150);
    recorder->start();
    pause(0.5);
    recorder->updateRegion(Rect{500, 300, 704, 300});
    EXPECT_THROW(recorder->updateRegion(Rect{0, 0, 0.5, 10}), capture::CaptureError);
    pause(0.3);
    pointerAt(640, 400);
    pause(0.3);
    const ResultObject result = stopFromMain(recorder);
    EXPECT_EQ(std::get<std::string>(*result.find("status")), "done");
    EXPECT_EQ(std::get<std::string>(*result.find("path")), path_);
    EXPECT_GT(std::get<std::int64_t>(*result.find("size")), 0);
    EXPECT_NEAR(std::get<double>(*result.find("duration")), 1.1, 0.25);
    MovieSummary movie;
    const auto all = frames(&movie);
    EXPECT_EQ(movie.codec, "h264");
    EXPECT_EQ(movie.width, 352);
    EXPECT_EQ(movie.height, 150);
    ASSERT_GE(all.size(), 2u);
    EXPECT_TRUE(near(all.front().at(25, 75), 0x000000));
    EXPECT_TRUE(near(all.front().at(100, 75), kWallpaper));
    for (auto [x, y] : {std::pair{152, 2}, {347, 2}, {250, 75}, {152, 147}, {347, 147}})
        EXPECT_TRUE(near(all.front().at(x, y), kRed)) << x << "," << y;
    for (auto [x, y] : {std::pair{2, 2}, {349, 2}, {176, 75}, {2, 147}, {349, 147}})
        EXPECT_TRUE(near(all.back().at(x, y), kBlue)) << x << "," << y;
    const auto firstBlue = std::find_if(all.begin(), all.end(), [](const DecodedFrame& f) { return near(f.at(250, 75), kBlue); });
    ASSERT_NE(firstBlue, all.end());
    EXPECT_NEAR(firstBlue->seconds, 0.5, 0.2);
    auto cursorPixels = [](const DecodedFrame& f) {
        int count = 0;
        for (int y = 50; y < 65; ++y)
            for (int x = 70; x < 85; ++x) count += near(f.at(x, y), kBlue, 60) ? 0 : 1;
        return count;
    };
    EXPECT_EQ(cursorPixels(*firstBlue), 0);
    EXPECT_GT(cursorPixels(all.back()), 5);
}

// A still screen gives a picture a second yet the full duration. Then only what changed is
// grabbed and converted: a small recolouring (at its true time), a window moved off its old
// place and a pointer swept across the desktop must leave frames equal to the screen, with no
// trail of the cursor and nothing stale where the window was.
TEST_F(RecorderTest, AStillScreenGivesFewFramesAndSmallChangesAreRecordedExactlyAtTheirTime) {
    scene_->addWindow(100, 100, 500, 300, kBlue);
    const std::uint32_t small = scene_->addWindow(300, 200, 30, 14, kYellow);
    const std::uint32_t moving = scene_->addWindow(800, 400, 120, 90, kRed);
    pointerAt(1250, 780);
    auto recorder = create(std::nullopt);
    recorder->start();
    const auto begin = std::chrono::steady_clock::now();
    const auto since = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count(); };
    pause(2.5);
    scene_->setColor(small, kGreen);
    const double changedAt = since();
    pause(0.3);
    const auto recoloured = scene_->grab(0, 0, 1280, 800);
    for (int step = 0; step < 8; ++step, pause(0.06)) pointerAt(150 + 90 * step, 150 + 40 * step);  // across all three
    scene_->move(moving, 1000, 600);
    pointerAt(700, 700);
    pause(0.4);
    const auto screen = scene_->grab(0, 0, 1280, 800);
    pause(0.6);
    const double stoppedAt = since();
    const double duration = std::get<double>(*stopFromMain(recorder).find("duration"));
    MovieSummary movie;
    const auto all = frames(&movie);
    EXPECT_NEAR(duration, stoppedAt, 0.35);
    EXPECT_NEAR(movie.durationSeconds, duration, 0.01);
    auto wrongPixels = [](const DecodedFrame& f, const std::vector<std::uint32_t>& expected, int pointerX, int pointerY) {
        int wrong = 0;  // away from the pointer
        for (int y = 0; y < 800; ++y)
            for (int x = 0; x < 1280; ++x)
                wrong += (std::abs(x - pointerX) < 24 && std::abs(y - pointerY) < 24) || near(f.at(x, y), expected[y * 1280u + x], 40) ? 0 : 1;
        return wrong;
    };
    const auto firstGreen = std::find_if(all.begin(), all.end(), [](const DecodedFrame& f) { return near(f.at(315, 207), kGreen); });
    ASSERT_NE(firstGreen, all.end());
    // 2.5 still seconds at 30 per second would be 75 frames; a still screen is refreshed once a second.
    EXPECT_LE(firstGreen - all.begin(), 5);
    EXPECT_NEAR(firstGreen->seconds, changedAt, 0.15);
    EXPECT_EQ(wrongPixels(*firstGreen, recoloured, 1250, 780), 0);
    EXPECT_EQ(wrongPixels(all.back(), screen, 700, 700), 0);
}

}  // namespace
}  // namespace kg::test
