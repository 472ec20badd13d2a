// The control bar on the offscreen platform: its place next to the region, what it draws
// (read back as pixels), its buttons and its clock.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "controlbar/recording_control_bar.h"
#include "platform/application.h"
#include "platform/screen.h"
#include "platform/testing.h"


namespace kg {
namespace {

class RecordingControlBarTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "controlbar_view_tests";
        static char* argv[] = {name, nullptr};
        ASSERT_TRUE(Application::open(argc, argv));
    }
    void SetUp() override {
        auto main = Screen::mainScreen();
        ASSERT_TRUE(main.has_value());
        screen.emplace(*main);
    }
    std::optional<Screen> screen;
    RecordingControlBar bar;
};

// Counts the pixels of `image` within `r` (view coordinates) that satisfy `pred`.
template <class Pred>
int countPixels(const Image& image, const Rect& r, Pred pred) {
    int n = 0;
    for (int y = int(r.y); y < int(r.maxY()); ++y)
        for (int x = int(r.x); x < int(r.maxX()); ++x) n += pred(image.at(x, y)) ? 1 : 0;
    return n;
}

TEST_F(RecordingControlBarTest, SitsBelowTheRegionAndDrawsARoundedTranslucentPanel) {
    const double H = screen->frame().height;
    const Rect region{100, 100, 300, 200};
    bar.show(region, *screen);
    ASSERT_NE(bar.window(), nullptr);
    EXPECT_EQ(bar.window()->frame(), (Rect{150, H - 100 - 200 - 50, 200, 40}));
    EXPECT_TRUE(bar.window()->isVisible());
    EXPECT_EQ(bar.window()->level(), kScreenSaverWindowLevel);
    EXPECT_EQ(bar.timerLabel()->stringValue(), "00:00");
    EXPECT_EQ(bar.stopButton()->title(), "\u23F9");
    EXPECT_EQ(bar.stopButton()->toolTip(), "Stop recording");
    EXPECT_EQ(bar.pauseButton()->toolTip(), "Pause recording (coming soon)");
    EXPECT_FALSE(bar.pauseButton()->isEnabled());

    const Image image = renderWindowForTesting(*bar.window());
    ASSERT_EQ(image.width, 200);
    ASSERT_EQ(image.height, 40);
    // The four corners outside the rounded rectangle stay see-through.
    for (auto [x, y] : {std::pair{0, 0}, {199, 0}, {0, 39}, {199, 39}}) {
        EXPECT_EQ(image.at(x, y).a, 0) << x << "," << y;
    }
    // The fill: (0.07, 0.07, 0.11) at 0.92 alpha, on the left edge and between the controls.
    for (auto [x, y] : {std::pair{5, 20}, {100, 3}, {195, 35}}) {
        const Rgba p = image.at(x, y);
        EXPECT_NEAR(p.r, 18, 2) << x << "," << y;
        EXPECT_NEAR(p.g, 18, 2);
        EXPECT_NEAR(p.b, 28, 2);
        EXPECT_NEAR(p.a, 235, 2);
    }
    // The 1-point border (0.16, 0.16, 0.24) along the straight edges.
    const Rgba edge = image.at(100, 0);
    EXPECT_NEAR(edge.r, 41, 3);
    EXPECT_NEAR(edge.b, 61, 3);
    EXPECT_EQ(edge.a, 255);

    // The Stop glyph renders, in recording red (1.0, 0.23, 0.19): a solid square of red.
    const int red = countPixels(image, Rect{10, 8, 28, 24}, [](Rgba p) {
        return p.r > 230 && p.g > 40 && p.g < 80 && p.b > 30 && p.b < 70 && p.a > 240;
    });
    EXPECT_GT(red, 30) << "stop glyph missing";
    // The disabled Pause glyph renders: grey 0.4 at a third of its alpha over the fill.
    const int grey = countPixels(image, Rect{40, 8, 28, 24}, [](Rgba p) {
        return p.r > 35 && p.r < 120 && p.r == p.g;
    });
    EXPECT_GT(grey, 10) << "pause glyph missing";
    // The clock: orange (1.0, 0.55, 0.26) text in the label's area.
    const int orange = countPixels(image, Rect{72, 11, 118, 18}, [](Rgba p) {
        return p.r > 200 && p.g > 110 && p.g < 160 && p.b < 100;
    });
    EXPECT_GT(orange, 20) << "clock text missing";
}

TEST_F(RecordingControlBarTest, StopClicksReachOnStopPauseStaysDisabled) {
    int stops = 0;
    std::vector<bool> toggles;
    bar.onStop = [&] { ++stops; };
    bar.onPauseToggle = [&](bool paused) { toggles.push_back(paused); };
    bar.handleStop();
    EXPECT_EQ(stops, 1) << "the action works before show";

    bar.show({100, 100, 300, 200}, *screen);
    Window& panel = *bar.window();
    sendMouseEventForTesting(panel, MouseAction::Down, {24, 20});
    sendMouseEventForTesting(panel, MouseAction::Up, {24, 20});
    EXPECT_EQ(stops, 2);
    sendMouseEventForTesting(panel, MouseAction::Down, {54, 20});  // the disabled Pause
    sendMouseEventForTesting(panel, MouseAction::Up, {54, 20});
    EXPECT_TRUE(toggles.empty());
    EXPECT_FALSE(bar.isPaused());

    bar.handlePause();
    bar.handlePause();
    EXPECT_EQ(toggles, (std::vector<bool>{true, false}));
    EXPECT_FALSE(bar.isPaused());

    RecordingControlBar bare;  // no callbacks set: the actions do nothing
    bare.handleStop();
    bare.handlePause();
    EXPECT_TRUE(bare.isPaused());
}

TEST_F(RecordingControlBarTest, RepositionFollowsTheRegionOnlyWhileShown) {
    const double H = screen->frame().height;
    bar.reposition({0, 0, 100, 100}, *screen);  // before show: nothing
    EXPECT_EQ(bar.window(), nullptr);

    bar.show({100, 100, 300, 200}, *screen);
    bar.reposition({200, 50, 300, 200}, *screen);
    EXPECT_EQ(bar.window()->frame(), (Rect{250, H - 50 - 200 - 50, 200, 40}));
    // A region at the bottom of the screen puts the bar above it.
    bar.reposition({200, H - 40, 300, 40}, *screen);
    EXPECT_EQ(bar.window()->frame(), (Rect{250, 50, 200, 40}));

    bar.close();
    EXPECT_EQ(bar.window(), nullptr);
    EXPECT_NE(bar.timerLabel(), nullptr) << "controls are kept after close";
    bar.reposition({0, 0, 100, 100}, *screen);
    bar.close();
    EXPECT_EQ(bar.window(), nullptr);
}

TEST_F(RecordingControlBarTest, ClockTicksWhileShownAndStopsWithClose) {
    bar.show({100, 100, 300, 200}, *screen);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (bar.timerLabel()->stringValue() == "00:00" &&
           std::chrono::steady_clock::now() < deadline) {
        processEventsForTesting();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(bar.timerLabel()->stringValue(), "00:01");

    bar.close();
    const std::string frozen = bar.timerLabel()->stringValue();
    const auto later = std::chrono::steady_clock::now() + std::chrono::milliseconds(1200);
    while (std::chrono::steady_clock::now() < later) {
        processEventsForTesting();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(bar.timerLabel()->stringValue(), frozen) << "no tick after close";
}

}  // namespace
}  // namespace kg
