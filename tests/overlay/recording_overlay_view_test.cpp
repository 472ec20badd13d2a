// The overlay window on the offscreen platform: presses that commit without moving, and its
// lifetime with and without a delegate. (What it draws, where it sits and how it moves and
// resizes under real input are the X11 test.)
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "overlay/recording_overlay.h"
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

TEST(RecordingOverlay, BandPressesCommitEvenWithoutMovingTicksTrackTheRegionWithOrWithoutADelegateCloseIsIdempotent) {
    auto delegate = std::make_shared<RecordingDelegate>();
    RecordingOverlay overlay;
    overlay.setDelegate(delegate);
    EXPECT_TRUE(overlay.windowIDs().empty()) << "before show";
    overlay.close();  // before show: nothing happens
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
