// The overlay window on the offscreen platform: what it draws (read back as pixels), presses
// that commit without moving, and its lifetime with and without a delegate.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "overlay/recording_overlay.h"
#include "platform/screen.h"
#include "platform/testing.h"
#include "tests/selector/app_environment.h"

namespace kg {
namespace {

class RecordingDelegate : public RecordingOverlayDelegate {
public:
    void overlayRegionIsChangingTo(RecordingOverlay&, const Rect& region) override { changes.push_back(region); }
    void overlayRegionDidCommitTo(RecordingOverlay&, const Rect& region) override { commits.push_back(region); }
    std::vector<Rect> changes, commits;
};

const Rect kRegion{100, 200, 640, 480};

TEST(RecordingOverlay, DrawsOnlyAThreePointFrameAndOutlinedHandlesAtEveryCorner) {
    RecordingOverlay overlay;
    overlay.show(kRegion);
    ASSERT_NE(overlay.window(), nullptr);
    EXPECT_EQ(overlay.window()->frame(), (Rect{97, Screen::mainScreen()->frame().height - 683, 646, 486}));
    const Image image = renderWindowForTesting(*overlay.window());
    ASSERT_EQ(image.width, 646);
    ASSERT_EQ(image.height, 486);
    const Rgba red{255, 0, 0, 255}, white{255, 255, 255, 255}, black{0, 0, 0, 255}, clear{};
    struct Probe { const char* what; int x, y; Rgba colour; };
    // The X11 test reads the nw corner, the top and left edges and the interior on a screen.
    const Probe probes[] = {
        {"bottom bar top row", 300, 2, red}, {"above bottom bar", 300, 3, clear}, {"right bar", 645, 240, red},
        {"se handle", 639, 7, white},        {"se outline right", 644, 7, black}, {"ne handle", 639, 479, white},
        {"sw handle", 7, 7, white},          {"sw outline bottom", 7, 1, black},  {"sw outside handle", 14, 7, clear},
    };
    for (const auto& p : probes) {
        const Rgba got = image.at(p.x, p.y);
        EXPECT_TRUE(p.colour.a == 0 ? got.a == 0 : got == p.colour)
            << p.what << ": " << int(got.r) << "," << int(got.g) << "," << int(got.b) << "," << int(got.a);
    }
}

TEST(RecordingOverlay, PressesOnTheBandCommitEvenWithoutMovingAndTheInteriorCommitsNothing) {
    auto delegate = std::make_shared<RecordingDelegate>();
    RecordingOverlay overlay;
    overlay.setDelegate(delegate);
    overlay.show(kRegion);
    const struct { Point at; DragMode mode; std::size_t commits; } presses[] = {
        {{300, 200}, DragMode::none(), 0},  // the interior declines the press
        {{15, 15}, DragMode::resize(HandlePosition::sw), 1},
        {{300, 1}, DragMode::move(), 2},
    };
    for (const auto& p : presses) {
        sendMouseEventForTesting(*overlay.window(), MouseAction::Down, p.at);
        EXPECT_EQ(overlay.view()->dragMode(), p.mode);
        sendMouseEventForTesting(*overlay.window(), MouseAction::Up, p.at);
        EXPECT_EQ(overlay.view()->dragMode(), DragMode::none());
        EXPECT_EQ(delegate->commits, std::vector<Rect>(p.commits, kRegion));
    }
}

TEST(RecordingOverlay, RegionFollowsTicksWithOrWithoutADelegateAndCloseIsIdempotent) {
    auto delegate = std::make_shared<RecordingDelegate>();
    RecordingOverlay overlay;
    overlay.setDelegate(delegate);
    EXPECT_TRUE(overlay.windowIDs().empty()) << "before show";
    overlay.close();  // before show: nothing happens

    overlay.show(kRegion);
    overlay.dragTick({120, 180, 640, 480});
    EXPECT_EQ(overlay.region(), (Rect{120, 180, 640, 480}));
    EXPECT_EQ(delegate->changes, (std::vector<Rect>{{120, 180, 640, 480}}));

    delegate.reset();  // the delegate goes away: ticks and commits still track the region
    overlay.dragTick({130, 170, 600, 400});
    EXPECT_EQ(overlay.region(), (Rect{130, 170, 600, 400}));
    sendMouseEventForTesting(*overlay.window(), MouseAction::Down, {300, 1});
    sendMouseEventForTesting(*overlay.window(), MouseAction::Up, {300, 1});
    EXPECT_EQ(overlay.region(), kRegion) << "the commit reads the unchanged window frame";

    overlay.close();
    EXPECT_EQ(overlay.window(), nullptr);
    EXPECT_TRUE(overlay.windowIDs().empty()) << "after close";
    overlay.close();
    EXPECT_EQ(overlay.region(), kRegion);
}

}  // namespace
}  // namespace kg
