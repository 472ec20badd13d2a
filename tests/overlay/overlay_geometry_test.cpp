// The overlay's geometry with the worked examples: a 640 x 480 region at (100, 200) on a main
// screen 900 points high gives a 646 x 486 window at (97, 217).
#include <gtest/gtest.h>

#include <limits>

#include "overlay/overlay_drag.h"
#include "overlay/overlay_geometry.h"

namespace kg::overlay {
namespace {

constexpr Size kView{646, 486};
constexpr Rect kStartFrame{97, 217, 646, 486};
constexpr auto nw = DragMode::resize(HandlePosition::nw), ne = DragMode::resize(HandlePosition::ne),
               sw = DragMode::resize(HandlePosition::sw), se = DragMode::resize(HandlePosition::se);

TEST(OverlayFrame, SurroundsTheRegionByThreePointsInGlobalSpaceAndBack) {
    struct Case { Rect region; double H; Rect frame; };
    const Case cases[] = {
        {{100, 200, 640, 480}, 900, {97, 217, 646, 486}},
        {{100, 200, 640, 480}, 0, {97, -683, 646, 486}},         // no main screen
        {{-50.5, 10.25, 60, 40}, 800, {-53.5, 746.75, 66, 46}},  // fractions pass through
        {{110, 205, 630, 475}, 900, {107, 217, 636, 481}},       // after the nw example below
    };
    for (const auto& c : cases) {
        EXPECT_EQ(windowFrameForRegion(c.region, c.H), c.frame);
        EXPECT_EQ(regionForWindowFrame(c.frame, c.H), c.region);
    }
}

TEST(OverlayHitTest, OnlyTheSeventeenPointBandTakesPressesAndCornersWinInSquaresGrownByTwo) {
    const std::pair<Point, bool> band[] = {
        {{16.9, 200}, true}, {{17, 200}, false}, {{628.9, 200}, false}, {{629, 200}, true},
        {{300, 16.99}, true}, {{300, 469}, true}, {{646, 200}, false},  {{-0.1, 200}, false},
    };
    for (const auto& [p, taken] : band) EXPECT_EQ(bandContains(p, kView), taken) << p.x << ", " << p.y;
    for (double x : {0.0, 17.0, 29.9}) EXPECT_TRUE(bandContains({x, 60}, {30, 120})) << "under 34 wide: all band";

    const std::pair<Point, DragMode> modes[] = {
        {{15, 15}, sw},      {{16.5, 16.5}, DragMode::move()}, {{15.9, 0}, sw}, {{16, 0}, DragMode::move()},
        {{0, 470}, nw},      {{0, 469.9}, DragMode::move()},   {{645, 485}, ne}, {{630, 0}, se},
        {{629.9, 0}, DragMode::move()},                        {{300, 1}, DragMode::move()},
    };
    for (const auto& [p, mode] : modes) EXPECT_EQ(modeForPoint(p, kView), mode) << p.x << ", " << p.y;
    // Overlapping squares on a tiny window: the earlier corner in nw, ne, sw, se wins.
    EXPECT_EQ(modeForPoint({10, 10}, {20, 20}), nw);
    EXPECT_EQ(modeForPoint({10, 1}, {20, 40}), sw);
}

TEST(OverlayDragFrame, EachModeMovesItsEdgesAndFramesUnder56PointsAreRefused) {
    const Rect start{100, 100, 100, 100}, tiny{0, 0, 40, 100};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case { DragMode mode; Rect from; Point delta; std::optional<Rect> frame; };
    const Case cases[] = {
        {nw, kStartFrame, {10, -5}, Rect{107, 217, 636, 481}},
        {ne, kStartFrame, {10, -5}, Rect{97, 217, 656, 481}},
        {sw, kStartFrame, {10, -5}, Rect{107, 212, 636, 491}},
        {se, kStartFrame, {10, -5}, Rect{97, 212, 656, 491}},
        {DragMode::move(), kStartFrame, {10, -5}, Rect{107, 212, 646, 486}},
        {DragMode::none(), kStartFrame, {10, -5}, std::nullopt},
        {se, start, {-44, 0}, Rect{100, 100, 56, 100}},  // exactly 56
        {se, start, {-44.5, 0}, std::nullopt},
        {se, start, {0, 44.01}, std::nullopt},
        {se, start, {-300, 0}, std::nullopt},  // past the opposite edge
        {nw, start, {0, -250}, std::nullopt},
        {DragMode::move(), tiny, {5, 5}, std::nullopt},  // already under 56: cannot move
        {se, tiny, {10, 0}, std::nullopt},               // a resize must bring both sides to 56
        {se, tiny, {16, 0}, Rect{0, 0, 56, 100}},
        {se, start, {nan, 0}, std::nullopt},  // a broken event never produces a frame
    };
    for (const auto& c : cases) {
        EXPECT_EQ(candidateFrame(c.mode, c.from, c.delta), c.frame) << c.delta.x << ", " << c.delta.y;
    }
}

TEST(OverlayDragState, StepsAreMeasuredFromThePressAndRefusedStepsLoseNothing) {
    OverlayDrag drag;
    EXPECT_FALSE(drag.release()) << "mouse-up without a press commits nothing";
    EXPECT_EQ(drag.frameFor({500, 500}), std::nullopt);

    drag.press({640, 3}, kView, {740, 220}, kStartFrame);  // the se handle, at global (740, 220)
    EXPECT_EQ(drag.mode(), se);
    EXPECT_EQ(drag.frameFor({750, 210}), (Rect{97, 207, 656, 496}));
    EXPECT_EQ(drag.frameFor({100, 210}), std::nullopt) << "narrower than 56: refused";
    EXPECT_EQ(drag.frameFor({760, 220}), (Rect{97, 217, 666, 486})) << "resumes from the press";
    EXPECT_TRUE(drag.release());
    EXPECT_EQ(drag.mode(), DragMode::none());
    EXPECT_FALSE(drag.release());
    EXPECT_EQ(drag.frameFor({800, 800}), std::nullopt);

    drag.press({300, 1}, kView, {400, 218}, kStartFrame);  // the band between corners moves
    EXPECT_EQ(drag.frameFor({390.5, 300}), (Rect{87.5, 299, 646, 486}));
}

}  // namespace
}  // namespace kg::overlay
