#pragma once
// Views: rectangles of a window that draw themselves and take mouse and key events.
//
// Main thread only. Coordinates: a view's frame is in its superview's coordinates (for a
// content view: the window's); its bounds are (0, 0, frame width, frame height). Every space
// is in points with the origin at the lower-left corner and y growing upward.
//
// Ownership: views are held by std::shared_ptr. A window holds its content view, a view holds
// its subviews; creators may keep their own references (for example to a Button). Back
// references (window(), superview()) are plain pointers that the layer clears when the link
// is cut. Views must be created after Application::open().

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/graphics_context.h"

namespace kg {

class Window;

struct MouseEvent {
    // Where the pointer is, in the coordinates of the window the event was delivered to
    // (y up, points). During a drag the pointer may be anywhere, even over another display:
    // the location is then outside the window's bounds (negative, or beyond its size).
    Point locationInWindow;
    int clickCount = 1;
};

// Key codes of the keyboard's physical keys, in the numbering the views test against.
namespace key_code {
inline constexpr int kReturn = 36;
inline constexpr int kTab = 48;
inline constexpr int kSpace = 49;
inline constexpr int kDelete = 51;
inline constexpr int kEscape = 53;
inline constexpr int kLeftArrow = 123;
inline constexpr int kRightArrow = 124;
inline constexpr int kDownArrow = 125;
inline constexpr int kUpArrow = 126;
inline constexpr int kUnknown = 0xFFFF;
}  // namespace key_code

struct KeyEvent {
    int keyCode = key_code::kUnknown;  // see key_code; kUnknown for keys without a code here
    std::string characters;            // the text the key produced, UTF-8, may be empty
};

enum class Cursor { Arrow, Crosshair, OpenHand, ClosedHand };

class View : public std::enable_shared_from_this<View> {
public:
    explicit View(const Rect& frame);
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // --- Overridable behaviour ---------------------------------------------------------
    // Draws the whole view. Called later on the main thread after setNeedsDisplay().
    virtual void draw(GraphicsContext& context);
    // The view that takes a mouse press at `pointInSuperview` (this view's frame space), or
    // nullptr to decline it. The default answers the deepest subview whose frame contains the
    // point, else this view when its frame contains it. A window whose content view declines
    // a point passes the press through to what lies below when the window is shaped (see
    // Window::setTransparencyMode).
    virtual View* hitTest(Point pointInSuperview);
    // Mouse press, drag and release. Drag and release go to the view that took the press,
    // wherever the pointer is, until the button is released.
    virtual void mouseDown(const MouseEvent& event);
    virtual void mouseDragged(const MouseEvent& event);
    virtual void mouseUp(const MouseEvent& event);
    // Key presses of the window go to its content view when it accepts first responder.
    virtual void keyDown(const KeyEvent& event);
    [[nodiscard]] virtual bool acceptsFirstResponder() const { return false; }
    // Called when the view's cursor rectangles must be rebuilt (the view got a window, changed
    // size); register them with addCursorRect(). Outside every rectangle the arrow shows.
    virtual void resetCursorRects();

    // --- Geometry and tree -------------------------------------------------------------
    [[nodiscard]] Rect frame() const { return frame_; }
    [[nodiscard]] Rect bounds() const { return {0, 0, frame_.width, frame_.height}; }
    void setFrame(const Rect& frame);
    [[nodiscard]] Window* window() const { return window_; }
    [[nodiscard]] View* superview() const { return superview_; }
    [[nodiscard]] const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
    // Adds the view on top of the existing subviews; it leaves its previous superview.
    void addSubview(std::shared_ptr<View> view);
    void removeFromSuperview();
    // A point in window coordinates to this view's coordinates.
    [[nodiscard]] Point convertPointFromWindow(Point pointInWindow) const;
    // A rectangle in this view's coordinates to window coordinates.
    [[nodiscard]] Rect convertRectToWindow(const Rect& rect) const;

    // --- State -------------------------------------------------------------------------
    // Asks for a redraw of the whole window; requests are coalesced and served later by the
    // event loop on the main thread.
    void setNeedsDisplay();
    // Accepted for compatibility of callers; every view here is drawn into its window's
    // buffer, so this has no further effect.
    void setWantsLayer(bool) {}
    void setHidden(bool hidden);
    [[nodiscard]] bool isHidden() const { return hidden_; }
    // Shown by the pointer after resting on the view; empty for none.
    void setToolTip(std::string text) { toolTip_ = std::move(text); }
    [[nodiscard]] const std::string& toolTip() const { return toolTip_; }

    // Inside resetCursorRects(): `rect` in this view's coordinates.
    void addCursorRect(const Rect& rect, Cursor cursor);
    // Invalidates the cursor rectangles of the window so they are rebuilt before next use.
    void discardCursorRects();

    // The pointer's position in global space (points, y up, origin at the main screen's
    // lower-left corner): while a mouse event is being handled, where that event happened
    // (the pointer may have moved on since); otherwise where the pointer is now.
    [[nodiscard]] static Point mouseLocation();

    // --- Used by the windowing layer ---------------------------------------------------
    struct CursorRect {
        Rect rect;  // in window coordinates
        Cursor cursor;
    };
    void attachToWindow(Window* window);
    void collectCursorRects(std::vector<CursorRect>& out);

private:
    Rect frame_;
    Window* window_ = nullptr;
    View* superview_ = nullptr;
    std::vector<std::shared_ptr<View>> subviews_;
    std::vector<CursorRect>* cursorSink_ = nullptr;
    bool hidden_ = false;
    std::string toolTip_;
};

}  // namespace kg
