#include "overlay/recording_overlay_view.h"

#include "overlay/recording_overlay.h"
#include "platform/screen.h"
#include "platform/window.h"

namespace kg {

double overlayMainScreenHeight() {
    const auto main = Screen::mainScreen();
    return main ? main->frame().height : 0;
}

RecordingOverlayView::RecordingOverlayView(const Rect& frame, RecordingOverlay* owner,
                                           overlay::HandlePlacement placement)
    : View(frame), owner_(owner), placement_(placement), drag_(placement) {}

View* RecordingOverlayView::hitTest(Point pointInSuperview) {
    // The view sits at (0, 0) of its window, so the superview's point is our own.
    return overlay::bandContains(pointInSuperview, bounds().size(), placement_) ? this : nullptr;
}

void RecordingOverlayView::draw(GraphicsContext& context) {
    const auto drawing = overlay::overlayDrawing(bounds().size(), placement_);
    for (const Rect& bar : drawing.frameBars) {
        context.fillRect(bar, Color::red());
    }
    for (std::size_t i = 0; i < drawing.handleFills.size(); ++i) {
        context.fill(Path::rectangle(drawing.handleFills[i]), Color::white());
        context.stroke(Path::rectangle(drawing.handleStrokes[i]), Color::black(), 1);
    }
}

void RecordingOverlayView::mouseDown(const MouseEvent& event) {
    const Rect startFrame = window() ? window()->frame() : Rect{};
    drag_.press(event.locationInWindow, bounds().size(), View::mouseLocation(), startFrame);
}

void RecordingOverlayView::mouseDragged(const MouseEvent&) {
    if (drag_.mode().isNone() || !window() || !owner_) return;
    const auto frame = drag_.frameFor(View::mouseLocation());
    if (!frame) return;  // refused: the window keeps its last accepted frame
    window()->setFrame(*frame, true);
    owner_->dragTick(overlay::regionForWindowFrame(*frame, overlayMainScreenHeight(), placement_));
}

void RecordingOverlayView::mouseUp(const MouseEvent&) {
    const bool wasDragging = drag_.release();
    if (!wasDragging || !window() || !owner_) return;
    const Rect committed =
        overlay::regionForWindowFrame(window()->frame(), overlayMainScreenHeight(), placement_);
    owner_->setRegion(committed);
    if (auto delegate = owner_->delegate()) {
        delegate->overlayRegionDidCommitTo(*owner_, committed);
    }
}

void RecordingOverlayView::resetCursorRects() {
    View::resetCursorRects();
    for (const auto& c : overlay::overlayCursorRects(bounds().size(), placement_)) {
        addCursorRect(c.rect, c.shape == overlay::CursorShape::crosshair ? Cursor::Crosshair
                                                                          : Cursor::OpenHand);
    }
}

}  // namespace kg
