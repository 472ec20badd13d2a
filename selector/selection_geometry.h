#pragma once
// The selector's arithmetic, apart from any window: the rectangle between two drag points, the
// size rule, the size label, its box, the idle picture's layout, and the printed members.
// Pure functions, any thread.

#include <string>

#include "cli/result_object.h"
#include "platform/geometry.h"

namespace kg {

// Smallest accepted selection, in points, in each direction (exactly this much is accepted).
inline constexpr double kMinimumSelectionSide = 50.0;

// The rectangle spanned by two points of the same space: origin at the smaller coordinates,
// non-negative size. A drag in any direction between the same points gives the same rectangle.
[[nodiscard]] Rect selectionRect(Point start, Point current);

// Whether a selection is large enough to be handed over.
[[nodiscard]] bool isAcceptedSelection(const Rect& selection);

// "W × H" with each side truncated toward zero, in points (U+00D7 between spaces).
[[nodiscard]] std::string sizeLabelText(const Rect& selection);

// The rounded box behind the size label (view coordinates, y up): centred under the selection,
// its top edge 4 points below the selection's bottom edge, 6 points of margin left and right
// and 2 below and above the measured text. The text's lower-left corner is (box.x + 6,
// box.y + 2). Never moved to stay on the display.
[[nodiscard]] Rect sizeLabelBox(const Rect& selection, Size text);

// Idle picture, for a view of bounds `b` and measured text widths: the lower-left points of
// the title and the hint, and the rectangle of the red dot above them.
struct IdleLayout {
    Point title;
    Point hint;
    Rect dot;
};
[[nodiscard]] IdleLayout idleLayout(const Rect& bounds, double titleWidth, double hintWidth);

// The printed selection: `selection` in global space (y up), `screenFrame` the frame of the
// display where the drag began, `mainScreenHeight` the flip height H. Every member is computed
// in floating point and truncated toward zero only at the end.
[[nodiscard]] ResultObject selectionResult(const Rect& selection, const Rect& screenFrame,
                                           double mainScreenHeight);

[[nodiscard]] ResultObject cancellationResult();

}  // namespace kg
