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

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new test::ApplicationEnvironment);

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

TEST_F(TwoScreens, ScreensAreGlobalYUpWithTheMainScreenFirst) {
    const auto screens = Screen::screens();
    EXPECT_EQ(screens[0].frame(), (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(screens[1].frame(), (Rect{1440, -180, 1440, 900}));
    EXPECT_EQ(Screen::mainScreen()->frame(), screens[0].frame());
    // One window per display, covering it, its view filling it.
    EXPECT_EQ(window(0).frame(), screens[0].frame());
    EXPECT_EQ(window(1).frame(), screens[1].frame());
    EXPECT_EQ(view(1).bounds(), (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(window(1).screen(), screens[1]);
    EXPECT_TRUE(window(1).isKeyWindow()) << "the last display's window is made key last";
}

TEST_F(TwoScreens, DragOnTheSecondDisplayReportsItsOriginAndOnlyItsViewChanges) {
    mouse(1, MouseAction::Down, {100, 700});
    mouse(1, MouseAction::Dragged, {250, 600});
    EXPECT_TRUE(view(1).isDragging());
    EXPECT_FALSE(view(0).isDragging());
    mouse(1, MouseAction::Up, {400, 500});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], R"({"x":1540,"y":380,"width":300,"height":200,"screen_x":1440,"screen_y":-180})");
}

TEST_F(TwoScreens, DragCrossingOntoTheMainDisplayReportsTheWholeRectangle) {
    // Pressed on the second display, released over the main one: the events keep going to the
    // second display's view, with points left of its bounds.
    mouse(1, MouseAction::Down, {100, 700});
    mouse(1, MouseAction::Dragged, {-100, 650});
    EXPECT_TRUE(view(1).isDragging());
    EXPECT_FALSE(view(0).isDragging());
    mouse(1, MouseAction::Up, {-200, 600});
    ASSERT_EQ(results.size(), 1u);
    // R = (-200, 600, 300, 100) in the view; global (1240, 420); y = 900 - 420 - 100.
    EXPECT_EQ(results[0], R"({"x":1240,"y":380,"width":300,"height":100,"screen_x":1440,"screen_y":-180})");
}

TEST_F(TwoScreens, SmallDragIsDiscardedThenAValidOneOnTheMainDisplayIsPrintedOnce) {
    mouse(0, MouseAction::Down, {10, 10});
    mouse(0, MouseAction::Up, {59.9, 300});
    EXPECT_TRUE(results.empty());
    EXPECT_FALSE(view(0).isDragging());
    mouse(0, MouseAction::Down, {100, 700});
    mouse(0, MouseAction::Up, {150, 650});  // exactly 50 x 50
    mouse(1, MouseAction::Down, {100, 700});
    mouse(1, MouseAction::Up, {400, 500});
    ASSERT_EQ(results.size(), 1u) << "only the first accepted selection is printed";
    EXPECT_EQ(results[0], R"({"x":100,"y":200,"width":50,"height":50,"screen_x":0,"screen_y":0})");
}

TEST_F(TwoScreens, EscapeCancelsDuringADragAndOtherKeysAreIgnored) {
    mouse(0, MouseAction::Down, {100, 700});
    mouse(0, MouseAction::Dragged, {300, 400});
    sendKeyDownForTesting(window(1), key_code::kSpace);
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(view(0).isDragging());
    sendKeyDownForTesting(window(1), key_code::kEscape);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], R"({"cancelled":true})");
}

TEST_F(TwoScreens, TheOtherDisplayKeepsItsIdlePictureDuringADrag) {
    mouse(1, MouseAction::Down, {100, 700});
    mouse(1, MouseAction::Dragged, {900, 100});
    const Image idle = renderWindowForTesting(window(0));
    const Rgba dot = idle.at(720, 450 + 40 + 24);
    EXPECT_EQ(dot.r, 255);
    EXPECT_LT(dot.g, 70);
    const Image dragging = renderWindowForTesting(window(1));
    EXPECT_EQ(dragging.at(500, 400).a, 0) << "inside the selection the window is clear";
}

}  // namespace
}  // namespace kg
