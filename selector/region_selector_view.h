#pragma once
// `RegionSelectorView`: the content view of one selection window. Dims its display, shows the
// instructions while idle, draws the live selection with its clear hole, red border and size
// label, and hands the finished rectangle (global space) or the cancellation to its delegate.
//
// Main thread only. View coordinates: points, y up, origin at the display's lower-left corner
// (the view fills a window that covers one display exactly).

#include "platform/drawing.h"
#include "platform/screen.h"
#include "platform/view.h"

namespace kg {

// Receiver of the outcome; the delegate owns the windows, which own the views, so the view
// holds it by plain pointer and it outlives the view.
class RegionSelectorDelegate {
public:
    virtual ~RegionSelectorDelegate() = default;
    // `selection` in global space (y up, points); `screen` the display of the view where the
    // drag began.
    virtual void regionSelected(const Rect& selection, const Screen& screen) = 0;
    virtual void selectionCancelled() = 0;
};

class RegionSelectorView : public View {
public:
    static constexpr Color kDimColor = Color::white(0.0, 0.35);
    static constexpr double kBorderWidth = 2.0;

    // `frame`: the display's frame; `appDelegate` may be null (then nothing is handed over).
    RegionSelectorView(const Rect& frame, RegionSelectorDelegate* appDelegate);

    void draw(GraphicsContext& context) override;
    void mouseDown(const MouseEvent& event) override;
    void mouseDragged(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;
    void keyDown(const KeyEvent& event) override;
    [[nodiscard]] bool acceptsFirstResponder() const override { return true; }
    void resetCursorRects() override;

    [[nodiscard]] bool isDragging() const { return isDragging_; }
    [[nodiscard]] Point startPoint() const { return startPoint_; }
    [[nodiscard]] Point currentPoint() const { return currentPoint_; }
    void setAppDelegate(RegionSelectorDelegate* delegate) { appDelegate_ = delegate; }

private:
    void drawSelection(GraphicsContext& context);
    void drawIdle(GraphicsContext& context);

    RegionSelectorDelegate* appDelegate_;
    bool isDragging_ = false;
    Point startPoint_;
    Point currentPoint_;
};

}  // namespace kg
