// Where the bar goes next to the region, and the clock text.
#include <gtest/gtest.h>

#include <limits>

#include "controlbar/control_bar_layout.h"
#include "controlbar/elapsed_label.h"

namespace kg::controlbar {
namespace {

TEST(ControlBarPlacement, BelowElseAboveElseInsideTheTopKeepingTenPointsFromTheScreensSides) {
    const Rect main{0, 0, 1440, 900};
    struct Case { const char* what; Rect region; Size bar; Rect screen; Point origin; };
    const Case cases[] = {
        {"below, centred", {100, 200, 640, 480}, kBarSize, main, {320, 170}},
        {"no room below: above", {0, 850, 300, 40}, kBarSize, main, {50, 60}},
        {"whole screen: inside the top", {0, 0, 1440, 900}, kBarSize, main, {620, 850}},
        {"right margin", {1400, 100, 40, 40}, kBarSize, main, {1230, 710}},
        {"left margin", {-50, 100, 60, 40}, kBarSize, main, {10, 710}},
        {"margins of the screen it is on", {2300, 100, 200, 100}, kBarSize, {1440, 100, 1000, 700}, {2230, 650}},
        {"too narrow: the left margin wins", {0, 0, 100, 100}, kBarSize, {0, 0, 150, 900}, {10, 750}},
        {"the panel's current size", {100, 200, 640, 480}, {100, 20}, main, {370, 190}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(controlBarOrigin(c.region, c.bar, c.screen, 900), c.origin) << c.what;
    }
}

TEST(ElapsedLabel, MinutesAndSecondsTruncatedNeverFoldedIntoHours) {
    const std::pair<double, const char*> cases[] = {
        {0, "00:00"},    {0.4, "00:00"},   {59.9, "00:59"}, {60, "01:00"}, {3725, "62:05"},
        {6000, "100:00"}, {599999, "9999:59"}, {-3, "00:00"}, {std::numeric_limits<double>::quiet_NaN(), "00:00"},
    };
    for (const auto& [seconds, text] : cases) EXPECT_EQ(elapsedLabelText(seconds), text) << seconds;
    EXPECT_FALSE(elapsedLabelText(std::numeric_limits<double>::infinity()).empty());
}

}  // namespace
}  // namespace kg::controlbar
