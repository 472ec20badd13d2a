// The selector's pictures, drawn into memory on the offscreen platform: the dimming, the hole,
// the red border, the size label below the selection and the idle dot above the title.

#include <gtest/gtest.h>

#include "platform/testing.h"
#include "selector/region_selector_view.h"
#include "selector/selection_geometry.h"
#include "tests/selector/app_environment.h"

namespace kg {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new test::ApplicationEnvironment);

constexpr Rgba kDim{0, 0, 0, 89};  // black at alpha 0.35
constexpr Rgba kRed{255, 59, 48, 255};
constexpr Rgba kClear{0, 0, 0, 0};

bool near(Rgba a, Rgba b, int tolerance = 2) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance && std::abs(a.a - b.a) <= tolerance;
}

::testing::AssertionResult pixelIs(const Image& image, int x, int y, Rgba expected) {
    const Rgba p = image.at(x, y);
    if (near(p, expected)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << int(p.r) << ","
                                         << int(p.g) << "," << int(p.b) << "," << int(p.a);
}

void drag(RegionSelectorView& view, Point from, Point to) {
    view.mouseDown({from});
    view.mouseDragged({to});
}

TEST(RegionSelectorPicture, IdleDimsEverythingWithTheDotAboveTheTitle) {
    RegionSelectorView view({0, 0, 800, 600}, nullptr);
    const Image image = renderViewForTesting(view);
    EXPECT_TRUE(pixelIs(image, 5, 5, kDim));
    EXPECT_TRUE(pixelIs(image, 795, 595, kDim));
    // Dot: diameter 48, lowest point 40 above the centre: centre (400, 364).
    EXPECT_TRUE(pixelIs(image, 400, 364, kRed));
    EXPECT_TRUE(pixelIs(image, 400, 342, kRed));
    EXPECT_TRUE(pixelIs(image, 400, 386, kRed));
    EXPECT_TRUE(pixelIs(image, 400, 337, kDim));  // just under the dot
    // The title sits between centre + 10 and the dot: some of its pixels are light.
    int light = 0;
    for (int x = 200; x < 600; ++x)
        for (int y = 312; y < 335; ++y) light += image.at(x, y).r > 128 ? 1 : 0;
    EXPECT_GT(light, 50);
}

TEST(RegionSelectorPicture, DragShowsClearHoleRedBorderAndLabelBelow) {
    RegionSelectorView view({0, 0, 800, 600}, nullptr);
    drag(view, {100, 500}, {400, 300});  // S = (100, 300, 300, 200)
    ASSERT_TRUE(view.isDragging());
    const Image image = renderViewForTesting(view);
    EXPECT_TRUE(pixelIs(image, 250, 400, kClear));  // inside the hole: undimmed
    EXPECT_TRUE(pixelIs(image, 102, 400, kClear));
    EXPECT_TRUE(pixelIs(image, 50, 400, kDim));
    // The 2-point border is centred on the edge: one column inside, one outside.
    EXPECT_TRUE(pixelIs(image, 99, 400, kRed));
    EXPECT_TRUE(pixelIs(image, 100, 400, kRed));
    EXPECT_TRUE(pixelIs(image, 250, 499, kRed));
    EXPECT_TRUE(pixelIs(image, 250, 500, kRed));
    EXPECT_TRUE(pixelIs(image, 97, 400, kDim));
    // No idle dot while dragging (the dot would cover (400, 364) - inside the hole now, and
    // (400, 386) is inside too); check a dot pixel outside the selection stays dim instead.
    RegionSelectorView other({0, 0, 800, 600}, nullptr);
    drag(other, {10, 10}, {70, 70});
    EXPECT_TRUE(pixelIs(renderViewForTesting(other), 400, 364, kDim));

    // Label box: centred under S, top edge 4 below S's bottom (y = 300).
    const TextAttributes attributes{Font::monospacedSystem(13, FontWeight::Semibold),
                                    Color::white(), kRecordingRed};
    const Size text = measureText("300 \u00D7 200", attributes);
    const Rect box = sizeLabelBox({100, 300, 300, 200}, text);
    EXPECT_TRUE(pixelIs(image, static_cast<int>(box.x + 2), static_cast<int>(box.midY()), kRed));
    EXPECT_TRUE(pixelIs(image, static_cast<int>(box.maxX() - 3), static_cast<int>(box.midY()), kRed));
    EXPECT_TRUE(pixelIs(image, 250, 298, kDim));  // the gap
    EXPECT_TRUE(pixelIs(image, static_cast<int>(box.x - 2), static_cast<int>(box.midY()), kDim));
    int white = 0;
    for (int x = static_cast<int>(box.x + 6); x < static_cast<int>(box.maxX() - 6); ++x)
        for (int y = static_cast<int>(box.y + 2); y < static_cast<int>(box.maxY() - 2); ++y)
            white += image.at(x, y).g > 200 ? 1 : 0;
    EXPECT_GT(white, 10) << "the label text is drawn in white on the box";
}

TEST(RegionSelectorPicture, LabelNearTheBottomEdgeIsClippedAway) {
    RegionSelectorView view({0, 0, 800, 600}, nullptr);
    drag(view, {100, 100}, {400, 2});  // bottom edge 2 points above the view's bottom
    const Image image = renderViewForTesting(view);
    EXPECT_TRUE(pixelIs(image, 250, 50, kClear));
    EXPECT_TRUE(pixelIs(image, 250, 0, kDim));  // below the border, the box is off the view
}

TEST(RegionSelectorPicture, DiscardedDragReturnsToTheIdlePictureAndNewDragStartsAfresh) {
    RegionSelectorView view({0, 0, 800, 600}, nullptr);
    drag(view, {100, 100}, {149.9, 400});
    view.mouseUp({{149.9, 400}});
    EXPECT_FALSE(view.isDragging());
    EXPECT_TRUE(pixelIs(renderViewForTesting(view), 400, 364, kRed));
    view.mouseDown({{300, 300}});
    EXPECT_EQ(view.startPoint(), (Point{300, 300}));
    EXPECT_EQ(view.currentPoint(), (Point{300, 300}));
}

}  // namespace
}  // namespace kg
