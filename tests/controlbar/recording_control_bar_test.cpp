// The control bar on the offscreen platform: its buttons, its place while the region moves,
// its lifetime, and its clock.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "controlbar/recording_control_bar.h"
#include "platform/testing.h"
#include "tests/selector/app_environment.h"

namespace kg {
namespace {

void runEventsFor(std::chrono::milliseconds span, const std::function<bool()>& done = [] { return false; }) {
    const auto end = std::chrono::steady_clock::now() + span;
    while (!done() && std::chrono::steady_clock::now() < end) {
        processEventsForTesting();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

TEST(RecordingControlBar, StopClicksReachOnStopPauseStaysDisabledAndThePanelFollowsOnlyWhileShown) {
    const Screen screen = *Screen::mainScreen();
    const double H = screen.frame().height;
    RecordingControlBar bar;
    int stops = 0;
    std::vector<bool> toggles;
    bar.onStop = [&] { ++stops; };
    bar.onPauseToggle = [&](bool paused) { toggles.push_back(paused); };
    bar.reposition({0, 0, 100, 100}, screen);
    EXPECT_EQ(bar.window(), nullptr) << "reposition before show builds nothing";
    bar.handleStop();
    EXPECT_EQ(stops, 1) << "the action works before show";

    bar.show({100, 100, 300, 200}, screen);
    ASSERT_NE(bar.window(), nullptr);
    EXPECT_EQ(bar.window()->frame(), (Rect{150, H - 350, 200, 40}));
    sendMouseEventForTesting(*bar.window(), MouseAction::Down, {24, 20});  // Stop
    sendMouseEventForTesting(*bar.window(), MouseAction::Up, {24, 20});
    EXPECT_EQ(stops, 2);
    sendMouseEventForTesting(*bar.window(), MouseAction::Down, {54, 20});  // the disabled Pause
    sendMouseEventForTesting(*bar.window(), MouseAction::Up, {54, 20});
    EXPECT_TRUE(toggles.empty());
    bar.handlePause();
    bar.handlePause();
    EXPECT_EQ(toggles, (std::vector<bool>{true, false}));

    bar.reposition({200, 50, 300, 200}, screen);
    EXPECT_EQ(bar.window()->frame(), (Rect{250, H - 300, 200, 40}));
    bar.reposition({200, H - 40, 300, 40}, screen);
    EXPECT_EQ(bar.window()->frame(), (Rect{250, 50, 200, 40})) << "no room below: above";

    bar.close();
    EXPECT_EQ(bar.window(), nullptr);
    bar.reposition({0, 0, 100, 100}, screen);
    bar.close();
    EXPECT_EQ(bar.window(), nullptr);
    EXPECT_NE(bar.timerLabel(), nullptr) << "controls are kept after close";

    RecordingControlBar bare;  // no callbacks: the actions do nothing harmful
    bare.handleStop();
    bare.handlePause();
}

TEST(RecordingControlBar, ClockTicksAndIsDrawnWhileShownAndStopsWithClose) {
    RecordingControlBar bar;
    bar.show({100, 100, 300, 200}, *Screen::mainScreen());
    EXPECT_EQ(bar.timerLabel()->stringValue(), "00:00");
    runEventsFor(std::chrono::seconds(5), [&] { return bar.timerLabel()->stringValue() != "00:00"; });
    EXPECT_EQ(bar.timerLabel()->stringValue(), "00:01");

    // The clock's orange text (1.0, 0.55, 0.26) in the label's part of the panel.
    const Image image = renderWindowForTesting(*bar.window());
    int orange = 0;
    for (int y = 11; y < 29; ++y)
        for (int x = 72; x < 190; ++x) {
            const Rgba p = image.at(x, y);
            orange += p.r > 200 && p.g > 110 && p.g < 160 && p.b < 100;
        }
    EXPECT_GT(orange, 20) << "clock text missing";

    bar.close();
    const std::string frozen = bar.timerLabel()->stringValue();
    runEventsFor(std::chrono::milliseconds(1200));
    EXPECT_EQ(bar.timerLabel()->stringValue(), frozen) << "no tick after close";
}

}  // namespace
}  // namespace kg
