#pragma once
// Where the control bar goes and how its content is laid out. Pure functions, any thread.
//
// Spaces (see platform/geometry.h): `region` is y-down from the main screen's top; screen
// frames and the returned origin are global y-up; content rectangles are the bar's own view
// space (y up, origin at its lower-left corner). All lengths in points.

#include <optional>

#include "platform/geometry.h"

namespace kg::controlbar {

inline constexpr Size kBarSize{200, 40};
// Gap between the bar and the region, and between the bar and the screen's edges.
inline constexpr double kBarMargin = 10;

// The bar's origin next to `region`: centred 10 points below it, or above it when there is no
// room below (then kept 10 points inside the screen's top), and 10 points inside the left and
// right edges (the left edge wins on a screen too narrow for both). `screenFrame` is the
// screen the bar goes on; `mainScreenHeight` the main screen's frame height (the caller passes
// that screen's own height when there is no main screen).
[[nodiscard]] Point controlBarOrigin(const Rect& region, Size barSize, const Rect& screenFrame,
                                     double mainScreenHeight);

// Where the recording cannot leave the bar out: the origin controlBarOrigin() gives when the
// bar there is clear of the region; otherwise the first of right and left of the region (10
// points away, lower edges level, 10 points inside the screen's edges) where the bar is wholly
// on the screen and clear of the region; nullopt when there is no such place (a region that
// fills its screen).
[[nodiscard]] std::optional<Point> controlBarOriginOutside(const Rect& region, Size barSize,
                                                           const Rect& screenFrame, double mainScreenHeight);

// The rectangles of the bar's content for a bar of the given size.
struct ControlBarContentLayout {
    Rect stopButton;
    Rect pauseButton;
    Rect timerLabel;
    Rect background;  // the rounded rectangle's path: the bounds inset by half the border
};
inline constexpr double kCornerRadius = 8;
inline constexpr double kBackgroundBorderWidth = 1;
[[nodiscard]] ControlBarContentLayout controlBarContentLayout(Size barSize);

}  // namespace kg::controlbar
