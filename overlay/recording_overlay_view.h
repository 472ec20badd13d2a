#pragma once
// The overlay window's content view: draws the red frame and the handles, takes the mouse only
// on the band along the edge (presses in the interior reach the window below), and turns a
// press-drag-release into a move or a corner resize of its window.
//
// Main thread only. View coordinates: y up, origin at the window's lower-left corner (the
// view fills its borderless window, so view and window coordinates coincide). Drags are
// measured in global coordinates from the press, using the pointer's global position rather
// than the event's window-relative one: the window moves under the pointer while it is
// dragged, so window-relative positions would feed the movement back into itself.

#include "overlay/overlay_drag.h"
#include "overlay/overlay_geometry.h"
#include "platform/view.h"

namespace kg {

class RecordingOverlay;

using overlay::DragMode;
using overlay::HandlePosition;

class RecordingOverlayView : public View {
public:
    static constexpr double borderWidth = overlay::kBorderWidth;
    static constexpr double handleSize = overlay::kHandleSize;

    // `owner` is a weak back reference: the overlay clears it (setOwner(nullptr)) before it
    // lets go of the view, so a view that outlives its overlay changes nothing.
    RecordingOverlayView(const Rect& frame, RecordingOverlay* owner,
                         overlay::HandlePlacement placement = overlay::HandlePlacement::overRegionCorners);

    void setOwner(RecordingOverlay* owner) { owner_ = owner; }
    [[nodiscard]] DragMode dragMode() const { return drag_.mode(); }

    View* hitTest(Point pointInSuperview) override;
    void draw(GraphicsContext& context) override;
    void mouseDown(const MouseEvent& event) override;
    void mouseDragged(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;
    void resetCursorRects() override;

private:
    RecordingOverlay* owner_;
    overlay::HandlePlacement placement_;
    overlay::OverlayDrag drag_;
};

// The main screen's frame height, or 0 without a main screen: the H of every conversion
// between the overlay's window frames and regions.
[[nodiscard]] double overlayMainScreenHeight();

}  // namespace kg
