#pragma once
// The pure geometry of the recording overlay: where its window sits around a region, which
// points of it take the mouse, how a drag turns into a new window frame, and what is drawn.
// No toolkit types; callable from any thread (everything here is a pure function).
//
// Spaces (see platform/geometry.h): "region" rectangles are y-down from the main screen's
// top; window frames are global y-up; "view" points are the overlay window's own y-up space,
// origin at its lower-left corner, so view and window coordinates coincide. `mainScreenHeight`
// is the height of the main screen's frame at the moment of the conversion, or 0 when there is
// no main screen.

#include <array>
#include <optional>

#include "platform/geometry.h"

namespace kg::overlay {

// Width of the red frame; the window is larger than the region by this much on every side.
inline constexpr double kBorderWidth = 3;
// Side of a square corner handle.
inline constexpr double kHandleSize = 14;
// A hit square is its corner square grown by this much on every side.
inline constexpr double kHitSlop = 2;
// Smallest region side a drag may produce.
inline constexpr double kMinimumRegionSide = 50;

// Where the handles sit. Over the region's corners where the recording leaves our windows out
// (X11); wholly outside the region where it cannot (a Wayland screen cast), so that nothing of
// ours is recorded. The window is the region grown by windowOutset() on every side; the red
// frame is always the kBorderWidth band just outside the region, the handles the window's
// corner squares.
enum class HandlePlacement { overRegionCorners, outsideRegion };
[[nodiscard]] constexpr double windowOutset(HandlePlacement placement) {
    return placement == HandlePlacement::overRegionCorners ? kBorderWidth : kHandleSize;
}
// Smallest window side a drag may produce (56 points over the corners).
[[nodiscard]] constexpr double minimumWindowSide(HandlePlacement placement) {
    return kMinimumRegionSide + 2 * windowOutset(placement);
}
inline constexpr double kMinimumWindowSide = minimumWindowSide(HandlePlacement::overRegionCorners);

enum class HandlePosition { nw, ne, sw, se };
inline constexpr std::array<HandlePosition, 4> kAllHandles = {
    HandlePosition::nw, HandlePosition::ne, HandlePosition::sw, HandlePosition::se};

// What a press-drag-release does: resize by a corner, nothing, or move the whole frame.
class DragMode {
public:
    enum class Kind { resize, none, move };

    [[nodiscard]] static constexpr DragMode resize(HandlePosition handle) {
        return DragMode{Kind::resize, handle};
    }
    [[nodiscard]] static constexpr DragMode none() { return DragMode{Kind::none, {}}; }
    [[nodiscard]] static constexpr DragMode move() { return DragMode{Kind::move, {}}; }

    [[nodiscard]] constexpr Kind kind() const { return kind_; }
    // Meaningful only when kind() is resize.
    [[nodiscard]] constexpr HandlePosition handle() const { return handle_; }
    [[nodiscard]] constexpr bool isNone() const { return kind_ == Kind::none; }

    friend constexpr bool operator==(const DragMode& a, const DragMode& b) {
        return a.kind_ == b.kind_ && (a.kind_ != Kind::resize || a.handle_ == b.handle_);
    }

private:
    constexpr DragMode(Kind kind, HandlePosition handle) : kind_(kind), handle_(handle) {}
    Kind kind_;
    HandlePosition handle_;
};

// Region (y down) -> overlay window frame (global y up), windowOutset() beyond every side.
[[nodiscard]] Rect windowFrameForRegion(const Rect& region, double mainScreenHeight,
                                        HandlePlacement placement = HandlePlacement::overRegionCorners);
// Overlay window frame (global y up) -> the region it surrounds (y down). Inverse of the above.
[[nodiscard]] Rect regionForWindowFrame(const Rect& frame, double mainScreenHeight,
                                        HandlePlacement placement = HandlePlacement::overRegionCorners);

// View-space rectangles for a view of the given size.
[[nodiscard]] Rect cornerSquare(HandlePosition handle, Size view);
[[nodiscard]] Rect hitSquare(HandlePosition handle, Size view);
// The part of the window that declines the mouse: over the corners, 17 points in from every
// edge (empty when the window is under 34 points); outside, the region itself.
[[nodiscard]] Rect innerRect(Size view, HandlePlacement placement = HandlePlacement::overRegionCorners);

// True for a point of the border band (inside the bounds, outside the inner rectangle): the
// only points for which the overlay takes mouse events.
[[nodiscard]] bool bandContains(Point viewPoint, Size view,
                                HandlePlacement placement = HandlePlacement::overRegionCorners);
// The drag a press at this point starts: the first corner (nw, ne, sw, se) whose hit square
// holds it, else move.
[[nodiscard]] DragMode modeForPoint(Point viewPoint, Size view);

// The window frame (global y up) for a drag that started with `startFrame` and has moved the
// mouse by `delta` (global y up) since the press. nullopt when the mode is none or the result
// would be under minimumWindowSide() in either direction (the window then keeps its last frame).
[[nodiscard]] std::optional<Rect> candidateFrame(DragMode mode, const Rect& startFrame, Point delta,
                                                 HandlePlacement placement = HandlePlacement::overRegionCorners);

// What the view draws, in view space.
struct OverlayDrawing {
    std::array<Rect, 4> frameBars;     // red: top, bottom, left, right
    std::array<Rect, 4> handleFills;   // white, in nw, ne, sw, se order
    std::array<Rect, 4> handleStrokes; // black 1-point outline paths, same order
};
[[nodiscard]] OverlayDrawing overlayDrawing(Size view,
                                            HandlePlacement placement = HandlePlacement::overRegionCorners);

// Cursor rectangles in view space: crosshair over the corner squares, open hand between them
// over the strip from the window's edge to the region (the red frame, and outside the region
// the see-through margin too, which takes presses as well).
enum class CursorShape { crosshair, openHand };
struct CursorRect {
    Rect rect;
    CursorShape shape;
};
[[nodiscard]] std::array<CursorRect, 8> overlayCursorRects(
    Size view, HandlePlacement placement = HandlePlacement::overRegionCorners);

}  // namespace kg::overlay
