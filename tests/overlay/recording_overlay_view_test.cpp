// The overlay window on the offscreen platform: where it sits, what it draws (read back as
// pixels) and how presses on and off its band reach the delegate.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "overlay/recording_overlay.h"
#include "platform/application.h"
#include "platform/screen.h"
#include "platform/testing.h"

namespace kg {
namespace {

class RecordingDelegate : public RecordingOverlayDelegate {
public:
    void overlayRegionIsChangingTo(RecordingOverlay&, const Rect& region) override {
        changes.push_back(region);
    }
    void overlayRegionDidCommitTo(RecordingOverlay&, const Rect& region) override {
        commits.push_back(region);
    }
    std::vector<Rect> changes;
    std::vector<Rect> commits;
};

class RecordingOverlayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "overlay_view_tests";
        static char* argv[] = {name, nullptr};
        ASSERT_TRUE(Application::open(argc, argv));
    }
    void SetUp() override {
        const auto main = Screen::mainScreen();
        ASSERT_TRUE(main.has_value());
        H = main->frame().height;
        delegate = std::make_shared<RecordingDelegate>();
        overlay.setDelegate(delegate);
    }

    double H = 0;
    const Rect region{100, 200, 640, 480};
    std::shared_ptr<RecordingDelegate> delegate;
    RecordingOverlay overlay;
};

TEST_F(RecordingOverlayTest, WindowSurroundsTheRegionAndDrawsOnlyFrameAndHandles) {
    overlay.show(region);
    ASSERT_NE(overlay.window(), nullptr);
    EXPECT_EQ(overlay.region(), region);
    EXPECT_EQ(overlay.window()->frame(), (Rect{97, H - 200 - 480 - 3, 646, 486}));
    EXPECT_EQ(overlay.view()->frame(), (Rect{0, 0, 646, 486}));
    EXPECT_EQ(overlay.window()->level(), kScreenSaverWindowLevel);
    EXPECT_EQ(overlay.window()->transparencyMode(), TransparencyMode::ShapedToDrawing);
    EXPECT_TRUE(overlay.window()->isVisible());

    const Image image = renderWindowForTesting(*overlay.window());
    ASSERT_EQ(image.width, 646);
    ASSERT_EQ(image.height, 486);
    struct Probe { const char* what; int x, y; Rgba colour; };
    const Rgba red{255, 0, 0, 255}, white{255, 255, 255, 255}, black{0, 0, 0, 255}, clear{};
    const Probe probes[] = {
        {"bottom bar", 300, 0, red},          {"bottom bar top row", 300, 2, red},
        {"above bottom bar", 300, 3, clear},  {"top bar", 300, 485, red},
        {"left bar", 0, 240, red},            {"left bar inner", 2, 240, red},
        {"right bar", 645, 240, red},         {"band inside frame", 10, 240, clear},
        {"interior", 323, 243, clear},        {"nw handle", 7, 479, white},
        {"nw outline left", 1, 479, black},   {"nw outline top", 7, 484, black},
        {"nw just inside outline", 2, 479, white}, {"nw corner left red", 0, 479, red},
        {"se handle", 639, 7, white},         {"se outline right", 644, 7, black},
        {"ne handle", 639, 479, white},       {"sw handle", 7, 7, white},
        {"sw outline bottom", 7, 1, black},   {"sw outside handle", 14, 7, clear},
    };
    for (const auto& p : probes) {
        const Rgba got = image.at(p.x, p.y);
        if (p.colour.a == 0) {
            EXPECT_EQ(got.a, 0) << p.what;
        } else {
            EXPECT_EQ(got, p.colour) << p.what << " (" << int(got.r) << "," << int(got.g) << ","
                                     << int(got.b) << "," << int(got.a) << ")";
        }
    }
}

TEST_F(RecordingOverlayTest, InteriorDeclinesPressesAndTheBandCommitsOnRelease) {
    overlay.show(region);
    Window& window = *overlay.window();
    RecordingOverlayView& view = *overlay.view();

    // Interior and outside: nobody takes the press, nothing is committed.
    EXPECT_EQ(view.hitTest({17, 200}), nullptr);
    EXPECT_EQ(view.hitTest({646, 200}), nullptr);
    EXPECT_EQ(view.hitTest({16.9, 200}), &view);
    sendMouseEventForTesting(window, MouseAction::Down, {300, 200});
    EXPECT_EQ(view.dragMode(), DragMode::none());
    sendMouseEventForTesting(window, MouseAction::Up, {300, 200});
    EXPECT_TRUE(delegate->commits.empty());

    // A press-release on a corner without movement still commits the unchanged region.
    sendMouseEventForTesting(window, MouseAction::Down, {15, 15});
    EXPECT_EQ(view.dragMode(), DragMode::resize(HandlePosition::sw));
    sendMouseEventForTesting(window, MouseAction::Up, {15, 15});
    EXPECT_EQ(view.dragMode(), DragMode::none());
    ASSERT_EQ(delegate->commits.size(), 1u);
    EXPECT_EQ(delegate->commits[0], region);

    // The same on the band between corners, a move.
    sendMouseEventForTesting(window, MouseAction::Down, {300, 1});
    EXPECT_EQ(view.dragMode(), DragMode::move());
    sendMouseEventForTesting(window, MouseAction::Up, {300, 1});
    EXPECT_EQ(delegate->commits.size(), 2u);
}

TEST_F(RecordingOverlayTest, RegionFollowsTicksEvenWithoutADelegateAndCloseIsIdempotent) {
    EXPECT_TRUE(overlay.windowIDs().empty()) << "before show";
    EXPECT_EQ(overlay.region(), Rect{});
    overlay.close();  // before show: nothing happens

    overlay.show(region);
    const Rect moved{120, 180, 640, 480};
    overlay.dragTick(moved);
    EXPECT_EQ(overlay.region(), moved);
    ASSERT_EQ(delegate->changes.size(), 1u);
    EXPECT_EQ(delegate->changes[0], moved);

    delegate.reset();  // the delegate goes away: ticks and commits still track the region
    const Rect again{130, 170, 600, 400};
    overlay.dragTick(again);
    EXPECT_EQ(overlay.region(), again);
    sendMouseEventForTesting(*overlay.window(), MouseAction::Down, {300, 1});
    sendMouseEventForTesting(*overlay.window(), MouseAction::Up, {300, 1});
    EXPECT_EQ(overlay.region(), region) << "the commit reads the unchanged window frame";

    EXPECT_LE(overlay.windowIDs().size(), 1u);
    overlay.close();
    EXPECT_EQ(overlay.window(), nullptr);
    EXPECT_EQ(overlay.view(), nullptr);
    EXPECT_TRUE(overlay.windowIDs().empty()) << "after close";
    overlay.close();
    EXPECT_EQ(overlay.region(), region);
}

}  // namespace
}  // namespace kg
