// The control bar on the offscreen platform: its buttons, its lifetime, and its clock. (Its
// place and its Stop click on a real screen are the overlay's X11 test.)
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "controlbar/recording_control_bar.h"
#include "platform/testing.h"
#include "tests/selector/app_environment.h"

namespace kg {
namespace {

void click(Window& w, Point down, Point up) {
    sendMouseEventForTesting(w, MouseAction::Down, down);
    sendMouseEventForTesting(w, MouseAction::Up, up);
}

TEST(RecordingControlBar, StopActsOnAReleaseOverItPauseStaysDisabledAndThePanelExistsOnlyWhileShown) {
    const Screen screen = *Screen::mainScreen();
    RecordingControlBar bar;
    int stops = 0;
    std::vector<bool> toggles;
    bar.onStop = [&] { ++stops; };
    bar.onPauseToggle = [&](bool paused) { toggles.push_back(paused); };
    bar.reposition({0, 0, 100, 100}, screen);
    EXPECT_EQ(bar.window(), nullptr) << "reposition before show builds nothing";

    bar.show({100, 100, 300, 200}, screen);
    click(*bar.window(), {24, 20}, {25, 21});
    EXPECT_EQ(stops, 1);
    click(*bar.window(), {24, 20}, {150, 20});  // released off the button: no stop
    click(*bar.window(), {54, 20}, {54, 20});   // the disabled Pause
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(toggles.empty());
    bar.handlePause();
    bar.handlePause();
    EXPECT_EQ(toggles, (std::vector<bool>{true, false}));
    bar.reposition({200, 50, 300, 200}, screen);
    EXPECT_EQ(bar.window()->frame().x, 250);

    bar.close();
    bar.reposition({0, 0, 100, 100}, screen);
    bar.close();
    EXPECT_EQ(bar.window(), nullptr);
    EXPECT_NE(bar.timerLabel(), nullptr) << "controls are kept after close";
    bar.handleStop();
    EXPECT_EQ(stops, 2) << "the action works without the panel";
}

void runEventsFor(std::chrono::milliseconds span, const std::function<bool()>& done = [] { return false; }) {
    for (const auto end = std::chrono::steady_clock::now() + span; !done() && std::chrono::steady_clock::now() < end;) {
        processEventsForTesting();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
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
        for (int x = 72; x < 190; ++x) orange += image.at(x, y).r > 200 && image.at(x, y).g > 110 && image.at(x, y).g < 160 && image.at(x, y).b < 100;
    EXPECT_GT(orange, 20) << "clock text missing";

    bar.close();
    const std::string frozen = bar.timerLabel()->stringValue();
    runEventsFor(std::chrono::milliseconds(1200));
    EXPECT_EQ(bar.timerLabel()->stringValue(), frozen) << "no tick after close";
}

}  // namespace
}  // namespace kg
