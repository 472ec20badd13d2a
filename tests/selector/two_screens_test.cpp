// `select-region`'s delegate and windows on two displays (offscreen platform, the second
// display at global (1440, -180)), fed with events through each window's event handling.

#include <gtest/gtest.h>

#include <optional>

#include "cli/result_printer.h"
#include "platform/screen.h"
#include "platform/testing.h"
#include "selector/region_selector_app_delegate.h"
#include "tests/selector/app_environment.h"

namespace kg {
namespace {

class TwoScreens : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Screen::screens().size(), 2u) << "the offscreen screen configuration was not read";
        delegate.emplace([this](const ResultObject& r) { results.push_back(*serializeResult(r)); });
        delegate->applicationDidFinishLaunching();
        ASSERT_EQ(delegate->overlayWindows().size(), 2u);
    }
    void TearDown() override {
        delegate.reset();
        processEventsForTesting();
    }
    Window& window(int i) { return *delegate->overlayWindows()[static_cast<std::size_t>(i)]; }
    RegionSelectorView& view(int i) { return delegate->overlayWindows()[static_cast<std::size_t>(i)]->selectorView(); }
    void mouse(int i, MouseAction a, Point p) { sendMouseEventForTesting(window(i), a, p); }

    std::vector<std::string> results;
    std::optional<RegionSelectorAppDelegate> delegate;
};

TEST_F(TwoScreens, EachDisplayHasItsWindowAndADragOnTheSecondReportsItsOriginWhileTheMainStaysIdle) {
    const auto screens = Screen::screens();
    EXPECT_EQ(Screen::mainScreen()->frame(), (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(screens[1].frame(), (Rect{1440, -180, 1440, 900}));
    EXPECT_EQ(window(0).frame(), screens[0].frame());
    EXPECT_EQ(window(1).frame(), screens[1].frame());
    EXPECT_EQ(window(1).screen(), screens[1]);
    EXPECT_TRUE(window(1).isKeyWindow()) << "the last display's window is made key last";

    mouse(1, MouseAction::Down, {100, 700});
    mouse(1, MouseAction::Dragged, {900, 100});
    EXPECT_TRUE(view(1).isDragging());
    EXPECT_FALSE(view(0).isDragging());
    EXPECT_EQ(renderWindowForTesting(window(0)).at(720, 514), (Rgba{255, 59, 48, 255})) << "idle dot on the main display";
    EXPECT_EQ(renderWindowForTesting(window(1)).at(500, 400).a, 0) << "the selection is clear";
    mouse(1, MouseAction::Up, {400, 500});
    EXPECT_EQ(results, (std::vector<std::string>{R"({"x":1540,"y":380,"width":300,"height":200,"screen_x":1440,"screen_y":-180})"}));
}

TEST_F(TwoScreens, DragCrossingOntoTheMainDisplayStaysWithThePressedOneAndOnlyTheFirstAcceptedIsPrinted) {
    mouse(0, MouseAction::Down, {10, 10});
    mouse(0, MouseAction::Up, {59.9, 300});  // 49.9 wide: discarded
    mouse(1, MouseAction::Down, {100, 700});
    mouse(1, MouseAction::Dragged, {-100, 650});
    EXPECT_FALSE(view(0).isDragging());
    mouse(1, MouseAction::Up, {-200, 600});
    mouse(0, MouseAction::Down, {100, 700});
    mouse(0, MouseAction::Up, {400, 500});
    // R = (-200, 600, 300, 100) in the second display's view; global (1240, 420); y = 900 - 420 - 100.
    EXPECT_EQ(results, (std::vector<std::string>{R"({"x":1240,"y":380,"width":300,"height":100,"screen_x":1440,"screen_y":-180})"}));
}

}  // namespace
}  // namespace kg
