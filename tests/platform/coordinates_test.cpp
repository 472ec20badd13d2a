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
        {"main screen itself", {0, 0, 1440, 900}, {0, 0, 1440, 900}, {0, 0, 1440, 900}},
        {"second display right and lower", {0, 0, 1440, 900}, {1440, 180, 1440, 900}, {1440, -180, 1440, 900}},
        {"display above the main one", {0, 0, 1440, 900}, {0, -1080, 1920, 1080}, {0, 900, 1920, 1080}},
        {"main screen not at the desktop origin", {1920, 0, 1440, 900}, {0, 0, 1920, 1080}, {-1920, -180, 1920, 1080}},
        {"window inside the main screen", {0, 0, 1440, 900}, {100, 200, 300, 200}, {100, 500, 300, 200}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(globalFromDesktop(c.desktop, c.mainDesktop), c.global) << c.name;
        EXPECT_EQ(desktopFromGlobal(c.global, c.mainDesktop), c.desktop) << c.name;
    }
    // A press on pixel (100, 200) is the global point (100, 700); region coordinates of a
    // global rectangle are its desktop coordinates relative to the main screen's top-left.
    const Rect main{0, 0, 1440, 900};
    EXPECT_EQ(globalFromDesktop(Point{100, 200}, main), (Point{100, 700}));
    EXPECT_EQ(desktopFromGlobal(Point{100, 700}, main), (Point{100, 200}));
    EXPECT_EQ(flipY(globalFromDesktop(Rect{1540, 200, 300, 200}, main), main.height), (Rect{1540, 200, 300, 200}));
    EXPECT_EQ(flipInHeight(Rect{0, 0, 10, 5}, 50), (Rect{0, 45, 10, 5}));
}

TEST(MaskRuns, RowsOfRunsMergeIntoBandsCoveringExactlyTheMask) {
    // A 10 x 6 frame, 2 pixels thick: two full bands and two side columns.
    const auto frame = rectsFromMask(10, 6, [](int x, int y) { return x < 2 || x >= 8 || y < 2 || y >= 4; });
    EXPECT_EQ(frame, (std::vector<PixelRect>{{0, 0, 10, 2}, {0, 2, 2, 2}, {8, 2, 2, 2}, {0, 4, 10, 2}}));
    EXPECT_TRUE(rectsFromMask(4, 4, [](int, int) { return false; }).empty());
    auto diagonal = [](int x, int y) { return x == y || x == 6 - y; };
    const auto d = rectsFromMask(7, 7, diagonal);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 7; ++x) {
            int covering = 0;
            for (const auto& r : d) covering += (x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height);
            EXPECT_EQ(covering, diagonal(x, y) ? 1 : 0) << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace kg
