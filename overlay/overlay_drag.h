#pragma once
// The overlay's drag state machine, apart from any window: a press in the band picks a drag
// mode and remembers where the mouse and the window were; every later mouse position is
// measured from that press (never from the previous step), so a refused step loses nothing.
// Not thread-safe; the overlay view uses it on the main thread only.

#include <optional>

#include "overlay/overlay_geometry.h"

namespace kg::overlay {

class OverlayDrag {
public:
    explicit OverlayDrag(HandlePlacement placement = HandlePlacement::overRegionCorners) : placement_(placement) {}

    // Mouse-down at `viewPoint` (view space) of a view of `viewSize`; `mouseGlobal` and
    // `windowFrame` in global y-up space.
    void press(Point viewPoint, Size viewSize, Point mouseGlobal, const Rect& windowFrame);

    // The frame to apply for the mouse now at `mouseGlobal`, or nullopt when no drag is under
    // way or the step is refused (under minimumWindowSide()).
    [[nodiscard]] std::optional<Rect> frameFor(Point mouseGlobal) const;

    // Mouse-up: returns whether a drag was under way (and so must be committed), and ends it.
    bool release();

    [[nodiscard]] DragMode mode() const { return mode_; }

private:
    HandlePlacement placement_;
    DragMode mode_ = DragMode::none();
    Point startMouseGlobal_;
    Rect startWindowFrame_;
};

}  // namespace kg::overlay
