#include "platform/view.h"

#include <algorithm>

#include "platform/window.h"

namespace kg {

View::View(const Rect& frame) : frame_(frame) {}

View::~View() {
    for (auto& sub : subviews_) sub->superview_ = nullptr;
}

void View::draw(GraphicsContext&) {}

View* View::hitTest(Point pointInSuperview) {
    if (hidden_ || !frame_.contains(pointInSuperview)) return nullptr;
    const Point local{pointInSuperview.x - frame_.x, pointInSuperview.y - frame_.y};
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        if (View* hit = (*it)->hitTest(local)) return hit;
    }
    return this;
}

void View::mouseDown(const MouseEvent&) {}
void View::mouseDragged(const MouseEvent&) {}
void View::mouseUp(const MouseEvent&) {}
void View::keyDown(const KeyEvent&) {}
void View::resetCursorRects() {}

void View::setFrame(const Rect& frame) {
    const bool resized = frame.size() != frame_.size();
    frame_ = frame;
    if (resized) discardCursorRects();
    setNeedsDisplay();
}

void View::addSubview(std::shared_ptr<View> view) {
    if (!view || view.get() == this) return;
    view->removeFromSuperview();
    view->superview_ = this;
    view->attachToWindow(window_);
    subviews_.push_back(std::move(view));
    discardCursorRects();
    setNeedsDisplay();
}

void View::removeFromSuperview() {
    View* parent = superview_;
    if (!parent) return;
    // Keep ourselves alive while the parent lets go of its reference.
    auto self = shared_from_this();
    auto& siblings = parent->subviews_;
    siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                  [this](const auto& v) { return v.get() == this; }),
                   siblings.end());
    superview_ = nullptr;
    parent->discardCursorRects();
    parent->setNeedsDisplay();
    attachToWindow(nullptr);
}

Point View::convertPointFromWindow(Point p) const {
    for (const View* v = this; v; v = v->superview_) {
        p.x -= v->frame_.x;
        p.y -= v->frame_.y;
    }
    return p;
}

Rect View::convertRectToWindow(const Rect& rect) const {
    Rect r = rect;
    for (const View* v = this; v; v = v->superview_) {
        r.x += v->frame_.x;
        r.y += v->frame_.y;
    }
    return r;
}

void View::setNeedsDisplay() {
    if (window_) window_->setNeedsDisplayForView();
}

void View::setHidden(bool hidden) {
    if (hidden_ == hidden) return;
    hidden_ = hidden;
    discardCursorRects();
    setNeedsDisplay();
}

void View::addCursorRect(const Rect& rect, Cursor cursor) {
    if (cursorSink_) cursorSink_->push_back({convertRectToWindow(rect), cursor});
}

void View::discardCursorRects() {
    if (window_) window_->invalidateCursorRects();
}

void View::attachToWindow(Window* window) {
    window_ = window;
    for (auto& sub : subviews_) sub->attachToWindow(window);
}

void View::collectCursorRects(std::vector<CursorRect>& out) {
    if (hidden_) return;
    cursorSink_ = &out;
    resetCursorRects();
    cursorSink_ = nullptr;
    for (auto& sub : subviews_) sub->collectCursorRects(out);
}

}  // namespace kg
