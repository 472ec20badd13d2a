// Placement of the bar next to the region, its content layout, and the clock text.
#include <gtest/gtest.h>

#include <limits>

#include "controlbar/control_bar_layout.h"
#include "controlbar/elapsed_label.h"

namespace kg::controlbar {
namespace {

TEST(ControlBarPlacement, BelowAboveOrInsideTheScreenWithSideMargins) {
    const Rect screen{0, 0, 1440, 900};
    struct Case { const char* what; Rect region; Point origin; };
    const Case cases[] = {
        {"below, centred", {100, 200, 640, 480}, {320, 170}},
        {"no room below: above", {0, 850, 300, 40}, {50, 60}},
        {"whole screen: inside the top", {0, 0, 1440, 900}, {620, 850}},
        {"right margin", {1400, 100, 40, 40}, {1230, 710}},
        {"left margin", {-50, 100, 60, 40}, {10, 710}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(controlBarOrigin(c.region, kBarSize, screen, 900), c.origin) << c.what;
    }
}

TEST(ControlBarPlacement, UsesTheScreenFrameForMarginsAndTheBarsOwnSize) {
    // A second screen to the right, raised by 100: margins follow its frame, not the main one.
    const Rect right{1440, 100, 1000, 700};
    EXPECT_EQ(controlBarOrigin({2300, 100, 200, 100}, kBarSize, right, 900), (Point{2230, 650}));
    // On a screen narrower than the bar plus margins the left margin wins.
    EXPECT_EQ(controlBarOrigin({0, 0, 100, 100}, kBarSize, {0, 0, 150, 900}, 900),
              (Point{10, 750}));
    // reposition passes the panel's current size.
    EXPECT_EQ(controlBarOrigin({100, 200, 640, 480}, {100, 20}, {0, 0, 1440, 900}, 900),
              (Point{370, 190}));
}

TEST(ControlBarContent, ButtonsLabelAndBackgroundOfThe200By40Bar) {
    const auto l = controlBarContentLayout(kBarSize);
    EXPECT_EQ(l.stopButton, (Rect{10, 8, 28, 24}));
    EXPECT_EQ(l.pauseButton, (Rect{40, 8, 28, 24}));
    EXPECT_EQ(l.timerLabel, (Rect{72, 11, 118, 18}));
    EXPECT_EQ(l.background, (Rect{0.5, 0.5, 199, 39}));
}

TEST(ElapsedLabel, MinutesAndSecondsTruncatedNeverFoldedIntoHours) {
    struct Case { double seconds; const char* text; };
    const Case cases[] = {
        {0, "00:00"},      {0.4, "00:00"},    {59.9, "00:59"},   {60, "01:00"},
        {3725, "62:05"},   {6000, "100:00"},  {599999, "9999:59"},
        {-3, "00:00"},     {std::numeric_limits<double>::quiet_NaN(), "00:00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(elapsedLabelText(c.seconds), c.text) << c.seconds;
    }
    EXPECT_FALSE(elapsedLabelText(std::numeric_limits<double>::infinity()).empty());
}

}  // namespace
}  // namespace kg::controlbar
