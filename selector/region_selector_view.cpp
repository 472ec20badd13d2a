#include "selector/region_selector_view.h"

#include "platform/window.h"
#include "selector/selection_geometry.h"

namespace kg {

namespace {
const TextAttributes kSizeLabel{Font::monospacedSystem(13, FontWeight::Semibold),
                                Color::white(), kRecordingRed};
const TextAttributes kTitle{Font::system(20, FontWeight::Medium), Color::white(), Color::clear()};
const TextAttributes kHint{Font::system(14, FontWeight::Regular), Color::white(1.0, 0.6),
                           Color::clear()};
constexpr const char* kTitleText = "Drag to select recording area";
constexpr const char* kHintText = "Press Esc to cancel";
constexpr double kLabelCornerRadius = 3.0;
}  // namespace

RegionSelectorView::RegionSelectorView(const Rect& frame, RegionSelectorDelegate* appDelegate)
    : View(frame), appDelegate_(appDelegate) {}

void RegionSelectorView::draw(GraphicsContext& context) {
    context.fillRect(bounds(), kDimColor, CompositingOperation::SourceOver);
    if (isDragging_) {
        drawSelection(context);
    } else {
        drawIdle(context);
    }
}

void RegionSelectorView::drawSelection(GraphicsContext& context) {
    const Rect s = selectionRect(startPoint_, currentPoint_);
    context.fillRect(s, kDimColor, CompositingOperation::Clear);
    context.stroke(Path::rectangle(s), kRecordingRed, kBorderWidth);
    const std::string text = sizeLabelText(s);
    const Size size = context.measureText(text, kSizeLabel);
    const Rect box = sizeLabelBox(s, size);
    context.fill(Path::roundedRect(box, kLabelCornerRadius, kLabelCornerRadius), kRecordingRed);
    context.drawText(text, {box.x + 6, box.y + 2}, kSizeLabel);
}

void RegionSelectorView::drawIdle(GraphicsContext& context) {
    const double w1 = context.measureText(kTitleText, kTitle).width;
    const double w2 = context.measureText(kHintText, kHint).width;
    const IdleLayout layout = idleLayout(bounds(), w1, w2);
    context.drawText(kTitleText, layout.title, kTitle);
    context.drawText(kHintText, layout.hint, kHint);
    context.fill(Path::oval(layout.dot), kRecordingRed);
}

void RegionSelectorView::mouseDown(const MouseEvent& event) {
    const Point p = convertPointFromWindow(event.locationInWindow);
    startPoint_ = p;
    currentPoint_ = p;
    isDragging_ = true;
    setNeedsDisplay();
}

void RegionSelectorView::mouseDragged(const MouseEvent& event) {
    currentPoint_ = convertPointFromWindow(event.locationInWindow);
    setNeedsDisplay();
}

void RegionSelectorView::mouseUp(const MouseEvent& event) {
    isDragging_ = false;
    currentPoint_ = convertPointFromWindow(event.locationInWindow);
    Rect r = selectionRect(startPoint_, currentPoint_);
    if (!isAcceptedSelection(r)) {
        setNeedsDisplay();
        return;
    }
    if (Window* w = window()) r = w->convertRectToScreen(r);
    if (!appDelegate_) return;
    std::optional<Screen> screen = window() ? window()->screen() : std::nullopt;
    if (!screen) screen = Screen::mainScreen();
    if (!screen) {
        // Neither the window's display nor a main screen is known: hand over a display that
        // covers the view, so the printed origin is still the one the user dragged on.
        const Rect f = window() ? window()->frame() : frame();
        screen = Screen("", f, 1.0);
    }
    appDelegate_->regionSelected(r, *screen);
}

void RegionSelectorView::keyDown(const KeyEvent& event) {
    if (event.keyCode == key_code::kEscape && appDelegate_) appDelegate_->selectionCancelled();
}

void RegionSelectorView::resetCursorRects() { addCursorRect(bounds(), Cursor::Crosshair); }

}  // namespace kg
