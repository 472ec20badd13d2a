// The selector's arithmetic: the rectangle between two points, the minimum size, the size
// label, and the printed selection in region coordinates.

#include <gtest/gtest.h>

#include "cli/result_printer.h"
#include "selector/selection_geometry.h"

namespace kg {
namespace {

TEST(Selection, AnyDragDirectionGivesTheSameRectangleAcceptedFromFiftyByFiftyOn) {
    EXPECT_EQ(selectionRect({400, 500}, {100, 700}), (Rect{100, 500, 300, 200}));
    EXPECT_EQ(selectionRect({5, 5}, {5, 5}), (Rect{5, 5, 0, 0}));
    const std::pair<Rect, bool> cases[] = {
        {{0, 0, 0, 0}, false},  {{0, 0, 49.9, 300}, false}, {{0, 0, 300, 49.9}, false},
        {{0, 0, 50, 50}, true}, {{0, 0, 50, 49.99}, false}, {{-20, -30, 51, 800}, true},
    };
    for (const auto& [r, accepted] : cases) EXPECT_EQ(isAcceptedSelection(r), accepted) << r.width << " x " << r.height;
}

TEST(SizeLabel, TruncatedSidesInABoxCentredFourPointsUnderTheSelectionNeverClamped) {
    EXPECT_EQ(sizeLabelText({0, 0, 300.9, 200.2}), "300 \u00D7 200");
    EXPECT_EQ(sizeLabelText({0, 0, 123.7, 45.2}), "123 \u00D7 45");
    EXPECT_EQ(sizeLabelBox({100, 500, 300, 200}, {60, 16}), (Rect{250 - 30 - 6, 500 - 16 - 8, 72, 20}));
    EXPECT_LT(sizeLabelBox({0, 0, 300, 60}, {60, 16}).maxY(), 0);
}

TEST(SelectionResult, MembersInRegionCoordinatesTruncatedTowardZero) {
    struct Case { const char* name; Rect selection, screen; const char* json; };
    const Case cases[] = {
        {"main display", {100, 500, 300, 200}, {0, 0, 1440, 900},
         R"({"x":100,"y":200,"width":300,"height":200,"screen_x":0,"screen_y":0})"},
        {"second display at (1440, -180)", {1540, 320, 300, 200}, {1440, -180, 1280, 1024},
         R"({"x":1540,"y":380,"width":300,"height":200,"screen_x":1440,"screen_y":-180})"},
        {"negative left edge", {-10.5, 100, 60.7, 80.9}, {-1440, 0, 1440, 900},
         R"({"x":-10,"y":719,"width":60,"height":80,"screen_x":-1440,"screen_y":0})"},
        // y is truncated after the subtraction: 900 - 100.4 - 50.3 = 749.3 -> 749.
        {"y from the unrounded values", {0.9, 100.4, 50.3, 50.3}, {0, 0, 1440, 900},
         R"({"x":0,"y":749,"width":50,"height":50,"screen_x":0,"screen_y":0})"},
        {"above the main screen", {0, 950, 100, 100}, {0, 900, 800, 600},
         R"({"x":0,"y":-150,"width":100,"height":100,"screen_x":0,"screen_y":900})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(serializeResult(selectionResult(c.selection, c.screen, 900)), c.json) << c.name;
    }
    EXPECT_EQ(serializeResult(cancellationResult()), R"({"cancelled":true})");
}

}  // namespace
}  // namespace kg
