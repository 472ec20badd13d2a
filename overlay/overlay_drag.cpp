#include "overlay/overlay_drag.h"

namespace kg::overlay {

void OverlayDrag::press(Point viewPoint, Size viewSize, Point mouseGlobal,
                        const Rect& windowFrame) {
    mode_ = modeForPoint(viewPoint, viewSize);
    startMouseGlobal_ = mouseGlobal;
    startWindowFrame_ = windowFrame;
}

std::optional<Rect> OverlayDrag::frameFor(Point mouseGlobal) const {
    const Point delta{mouseGlobal.x - startMouseGlobal_.x, mouseGlobal.y - startMouseGlobal_.y};
    return candidateFrame(mode_, startWindowFrame_, delta, placement_);
}

bool OverlayDrag::release() {
    const bool wasDragging = !mode_.isNone();
    mode_ = DragMode::none();
    return wasDragging;
}

}  // namespace kg::overlay
