// The selector's pictures, drawn into memory on the offscreen platform: the dimming, the hole,
// the red border, the size label below the selection and the idle dot above the title.

#include <gtest/gtest.h>

#include "platform/testing.h"
#include "selector/region_selector_view.h"
#include "selector/selection_geometry.h"
#include "tests/selector/app_environment.h"

namespace kg {
namespace {

constexpr Rgba kDim{0, 0, 0, 89};  // black at alpha 0.35
constexpr Rgba kRed{255, 59, 48, 255};
constexpr Rgba kClear{0, 0, 0, 0};

struct Probe { const char* what; double x, y; Rgba colour; };

void expectPixels(const Image& image, std::initializer_list<Probe> probes) {
    for (const auto& p : probes) {
        const Rgba c = image.at(int(p.x), int(p.y));
        EXPECT_TRUE(std::abs(c.r - p.colour.r) <= 2 && std::abs(c.g - p.colour.g) <= 2 && std::abs(c.b - p.colour.b) <= 2 &&
                    std::abs(c.a - p.colour.a) <= 2)
            << p.what << ": " << int(c.r) << "," << int(c.g) << "," << int(c.b) << "," << int(c.a);
    }
}

int countPixels(const Image& image, const Rect& r, bool (*pred)(Rgba)) {
    int n = 0;
    for (int y = int(r.y); y < int(r.maxY()); ++y)
        for (int x = int(r.x); x < int(r.maxX()); ++x) n += pred(image.at(x, y));
    return n;
}

TEST(RegionSelectorPicture, IdleDotAndTitleThenADragsHoleBorderAndSizeLabelThenIdleAgainWhenDiscarded) {
    RegionSelectorView view({0, 0, 800, 600}, nullptr);
    const Image idle = renderViewForTesting(view);
    // The dot: diameter 48, lowest point 40 above the centre, so centred at (400, 364).
    expectPixels(idle, {{"corner", 5, 5, kDim}, {"far corner", 795, 595, kDim}, {"dot", 400, 364, kRed},
                        {"dot bottom", 400, 342, kRed}, {"dot top", 400, 386, kRed}, {"under the dot", 400, 337, kDim}});
    EXPECT_GT(countPixels(idle, {200, 312, 400, 23}, [](Rgba p) { return p.r > 128; }), 50) << "title missing";

    view.mouseDown({{100, 250}});
    view.mouseDragged({{300, 100}});  // S = (100, 100, 200, 150), clear of the idle dot
    ASSERT_TRUE(view.isDragging());
    const Image image = renderViewForTesting(view);
    const Rect box = sizeLabelBox({100, 100, 200, 150}, measureText("200 \u00D7 150", {Font::monospacedSystem(13, FontWeight::Semibold), Color::white(), kRecordingRed}));
    // The 2-point border is centred on the edge: one row or column inside, one outside.
    expectPixels(image, {{"hole", 200, 175, kClear}, {"hole by the border", 102, 175, kClear}, {"outside", 50, 175, kDim},
                         {"left border outside", 99, 175, kRed}, {"left border inside", 100, 175, kRed},
                         {"bottom border outside", 200, 99, kRed}, {"bottom border inside", 200, 100, kRed},
                         {"beyond the border", 97, 175, kDim}, {"no idle dot while dragging", 400, 364, kDim},
                         {"label box left", box.x + 2, box.midY(), kRed}, {"label box right", box.maxX() - 3, box.midY(), kRed},
                         {"gap between border and box", 200, 97, kDim}, {"left of the box", box.x - 2, box.midY(), kDim}});
    EXPECT_GT(countPixels(image, box.insetBy(6, 2), [](Rgba p) { return p.g > 200; }), 10) << "label text missing";

    view.mouseDragged({{149.9, 400}});
    view.mouseUp({{149.9, 400}});  // 49.9 wide: discarded
    EXPECT_FALSE(view.isDragging());
    expectPixels(renderViewForTesting(view), {{"idle dot again", 400, 364, kRed}});
}

}  // namespace
}  // namespace kg
