// The desktop/global conversions every window and event goes through, and the mask-to-
// rectangles reduction behind X shapes.

#include <gtest/gtest.h>

#include "platform/mask_runs.h"
#include "platform/screen_space.h"

namespace kg {
namespace {

TEST(ScreenSpace, DesktopRectanglesBecomeGlobalYUpFromTheMainScreensLowerLeftAndBack) {
    struct Case { const char* name; Rect mainDesktop, desktop, global; };
    const Case cases[] = {
        {"second display right and lower", {0, 0, 1440, 900}, {1440, 180, 1440, 900}, {1440, -180, 1440, 900}},
        {"display above the main one", {0, 0, 1440, 900}, {0, -1080, 1920, 1080}, {0, 900, 1920, 1080}},
        {"main screen not at the desktop origin", {1920, 0, 1440, 900}, {0, 0, 1920, 1080}, {-1920, -180, 1920, 1080}},
        {"window inside the main screen", {0, 0, 1440, 900}, {100, 200, 300, 200}, {100, 500, 300, 200}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(globalFromDesktop(c.desktop, c.mainDesktop), c.global) << c.name;
        EXPECT_EQ(desktopFromGlobal(c.global, c.mainDesktop), c.desktop) << c.name;
    }
    EXPECT_EQ(globalFromDesktop(Point{100, 200}, Rect{0, 0, 1440, 900}), (Point{100, 700}));
}

TEST(MaskRuns, RectanglesCoverEveryMaskPixelExactlyOnce) {
    const std::function<bool(int, int)> masks[] = {
        [](int x, int y) { return x < 2 || x >= 8 || y < 2 || y >= 4; },  // a frame, 2 pixels thick
        [](int x, int y) { return x == y || x == 9 - y; },                 // a cross of diagonals
        [](int, int) { return false; },
    };
    for (const auto& mask : masks) {
        const auto rects = rectsFromMask(10, 6, mask);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 10; ++x) {
                int covering = 0;
                for (const auto& r : rects) covering += x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
                EXPECT_EQ(covering, mask(x, y) ? 1 : 0) << x << "," << y;
            }
    }
    EXPECT_EQ(rectsFromMask(10, 6, masks[0]).size(), 4u) << "rows of equal runs merge into bands";
}

}  // namespace
}  // namespace kg
