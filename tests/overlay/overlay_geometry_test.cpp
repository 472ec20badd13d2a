// The overlay's geometry with the worked examples: a 640 x 480 region at (100, 200) on a main
// screen 900 points high gives a 646 x 486 window at (97, 217).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "overlay/overlay_drag.h"
#include "overlay/overlay_geometry.h"

namespace kg::overlay {
namespace {

constexpr Size kView{646, 486};
constexpr Rect kStartFrame{97, 217, 646, 486};

TEST(OverlayFrame, SurroundsTheRegionByThreePointsInGlobalSpace) {
    struct Case { Rect region; double H; Rect frame; };
    const Case cases[] = {
        {{100, 200, 640, 480}, 900, {97, 217, 646, 486}},
        {{100, 200, 640, 480}, 0, {97, -683, 646, 486}},      // no main screen
        {{-50.5, 10.25, 60, 40}, 800, {-53.5, 746.75, 66, 46}},  // fractions pass through
    };
    for (const auto& c : cases) {
        EXPECT_EQ(windowFrameForRegion(c.region, c.H), c.frame);
        EXPECT_EQ(regionForWindowFrame(c.frame, c.H), c.region) << "round trip";
    }
}

TEST(OverlayHitTest, TakesOnlyTheBandAlongTheEdge) {
    EXPECT_EQ(innerRect(kView), (Rect{17, 17, 612, 452}));
    struct Case { Point p; bool taken; };
    const Case cases[] = {
        {{16.9, 200}, true},   {{17, 200}, false},  {{628.9, 200}, false}, {{629, 200}, true},
        {{300, 16.99}, true},  {{300, 469}, true},  {{646, 200}, false},   {{-0.1, 200}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bandContains(c.p, kView), c.taken) << c.p.x << ", " << c.p.y;
    }
}

TEST(OverlayHitTest, AWindowUnder34PointsIsAllBand) {
    const Size small{30, 120};
    EXPECT_EQ(innerRect(small), (Rect{17, 17, 0, 86}));
    for (double x : {0.0, 15.0, 17.0, 20.0, 29.9}) {
        EXPECT_TRUE(bandContains({x, 60}, small)) << x;
    }
}

TEST(OverlayHitTest, CornersWinInHitSquaresGrownByTwo) {
    EXPECT_EQ(hitSquare(HandlePosition::nw, kView), (Rect{-2, 470, 18, 18}));
    EXPECT_EQ(hitSquare(HandlePosition::se, kView), (Rect{630, -2, 18, 18}));
    struct Case { Point p; DragMode mode; };
    const Case cases[] = {
        {{15, 15}, DragMode::resize(HandlePosition::sw)},
        {{16.5, 16.5}, DragMode::move()},
        {{15.9, 0}, DragMode::resize(HandlePosition::sw)},
        {{16, 0}, DragMode::move()},
        {{0, 470}, DragMode::resize(HandlePosition::nw)},
        {{0, 469.9}, DragMode::move()},
        {{645, 485}, DragMode::resize(HandlePosition::ne)},
        {{630, 0}, DragMode::resize(HandlePosition::se)},
        {{629.9, 0}, DragMode::move()},
        {{300, 1}, DragMode::move()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(modeForPoint(c.p, kView), c.mode) << c.p.x << ", " << c.p.y;
    }
    // Overlapping hit squares on a tiny window: the earlier corner in nw, ne, sw, se wins.
    EXPECT_EQ(modeForPoint({10, 10}, {20, 20}), DragMode::resize(HandlePosition::nw));
    EXPECT_EQ(modeForPoint({10, 1}, {20, 40}), DragMode::resize(HandlePosition::sw));
}

TEST(OverlayDragFrame, EachModeMovesTheRightEdges) {
    const Point d{10, -5};
    struct Case { DragMode mode; Rect frame; };
    const Case cases[] = {
        {DragMode::resize(HandlePosition::nw), {107, 217, 636, 481}},
        {DragMode::resize(HandlePosition::ne), {97, 217, 656, 481}},
        {DragMode::resize(HandlePosition::sw), {107, 212, 636, 491}},
        {DragMode::resize(HandlePosition::se), {97, 212, 656, 491}},
        {DragMode::move(), {107, 212, 646, 486}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(candidateFrame(c.mode, kStartFrame, d), c.frame);
    }
    EXPECT_EQ(candidateFrame(DragMode::none(), kStartFrame, d), std::nullopt);
    // The nw example as a region on a 900-point main screen.
    EXPECT_EQ(regionForWindowFrame({107, 217, 636, 481}, 900), (Rect{110, 205, 630, 475}));
}

TEST(OverlayDragFrame, RefusesFramesUnder56PointsIncludingInvertedOnes) {
    const Rect start{100, 100, 100, 100};
    const auto se = DragMode::resize(HandlePosition::se);
    EXPECT_EQ(candidateFrame(se, start, {-44, 0}), (Rect{100, 100, 56, 100}));  // exactly 56
    EXPECT_EQ(candidateFrame(se, start, {-44.5, 0}), std::nullopt);
    EXPECT_EQ(candidateFrame(se, start, {0, 44.01}), std::nullopt);
    EXPECT_EQ(candidateFrame(se, start, {-300, 0}), std::nullopt);  // past the opposite edge
    const auto nw = DragMode::resize(HandlePosition::nw);
    EXPECT_EQ(candidateFrame(nw, start, {0, -250}), std::nullopt);
    // A window already under 56 cannot be moved; a resize must bring both sides to 56.
    const Rect tiny{0, 0, 40, 100};
    EXPECT_EQ(candidateFrame(DragMode::move(), tiny, {5, 5}), std::nullopt);
    EXPECT_EQ(candidateFrame(se, tiny, {10, 0}), std::nullopt);
    EXPECT_EQ(candidateFrame(se, tiny, {16, 0}), (Rect{0, 0, 56, 100}));
    // NaN deltas (a broken event) never produce a frame.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(candidateFrame(se, start, {nan, 0}), std::nullopt);
}

TEST(OverlayDragState, StepsAreMeasuredFromThePressAndRefusedStepsLoseNothing) {
    OverlayDrag drag;
    EXPECT_FALSE(drag.release()) << "mouse-up without a press commits nothing";
    EXPECT_EQ(drag.frameFor({500, 500}), std::nullopt);

    // Press on the se handle at global (740, 220).
    drag.press({640, 3}, kView, {740, 220}, kStartFrame);
    EXPECT_EQ(drag.mode(), DragMode::resize(HandlePosition::se));
    EXPECT_EQ(drag.frameFor({750, 210}), (Rect{97, 207, 656, 496}));
    EXPECT_EQ(drag.frameFor({100, 210}), std::nullopt) << "narrower than 56: refused";
    EXPECT_EQ(drag.frameFor({760, 220}), (Rect{97, 217, 666, 486})) << "resumes from the press";
    EXPECT_TRUE(drag.release());
    EXPECT_EQ(drag.mode(), DragMode::none());
    EXPECT_FALSE(drag.release());
    EXPECT_EQ(drag.frameFor({800, 800}), std::nullopt);

    // Press in the band between corners moves.
    drag.press({300, 1}, kView, {400, 218}, kStartFrame);
    EXPECT_EQ(drag.frameFor({390.5, 300}), (Rect{87.5, 299, 646, 486}));
}

}  // namespace
}  // namespace kg::overlay
