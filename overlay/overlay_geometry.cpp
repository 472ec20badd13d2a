#include "overlay/overlay_geometry.h"

#include <algorithm>
#include <cmath>

namespace kg::overlay {

Rect windowFrameForRegion(const Rect& region, double mainScreenHeight, HandlePlacement placement) {
    const double outset = windowOutset(placement);
    return flipY(region, mainScreenHeight).insetBy(-outset, -outset);
}

Rect regionForWindowFrame(const Rect& frame, double mainScreenHeight, HandlePlacement placement) {
    const double outset = windowOutset(placement);
    return flipY(frame.insetBy(outset, outset), mainScreenHeight);
}

Rect cornerSquare(HandlePosition handle, Size view) {
    const double s = kHandleSize;
    const double right = view.width - s;
    const double top = view.height - s;
    switch (handle) {
        case HandlePosition::nw: return {0, top, s, s};
        case HandlePosition::ne: return {right, top, s, s};
        case HandlePosition::sw: return {0, 0, s, s};
        case HandlePosition::se: return {right, 0, s, s};
    }
    return {};
}

Rect hitSquare(HandlePosition handle, Size view) {
    return cornerSquare(handle, view).insetBy(-kHitSlop, -kHitSlop);
}

Rect innerRect(Size view, HandlePlacement placement) {
    const double margin = placement == HandlePlacement::overRegionCorners ? kHandleSize + kBorderWidth
                                                                          : windowOutset(placement);
    return {margin, margin, std::max(view.width - 2 * margin, 0.0),
            std::max(view.height - 2 * margin, 0.0)};
}

bool bandContains(Point viewPoint, Size view, HandlePlacement placement) {
    const Rect bounds{0, 0, view.width, view.height};
    return bounds.contains(viewPoint) && !innerRect(view, placement).contains(viewPoint);
}

DragMode modeForPoint(Point viewPoint, Size view) {
    for (HandlePosition handle : kAllHandles) {
        if (hitSquare(handle, view).contains(viewPoint)) {
            return DragMode::resize(handle);
        }
    }
    return DragMode::move();
}

std::optional<Rect> candidateFrame(DragMode mode, const Rect& start, Point d, HandlePlacement placement) {
    Rect c;
    switch (mode.kind()) {
        case DragMode::Kind::none:
            return std::nullopt;
        case DragMode::Kind::move:
            c = {start.x + d.x, start.y + d.y, start.width, start.height};
            break;
        case DragMode::Kind::resize:
            switch (mode.handle()) {
                case HandlePosition::nw:
                    c = {start.x + d.x, start.y, start.width - d.x, start.height + d.y};
                    break;
                case HandlePosition::ne:
                    c = {start.x, start.y, start.width + d.x, start.height + d.y};
                    break;
                case HandlePosition::sw:
                    c = {start.x + d.x, start.y + d.y, start.width - d.x, start.height - d.y};
                    break;
                case HandlePosition::se:
                    c = {start.x, start.y + d.y, start.width + d.x, start.height - d.y};
                    break;
            }
            break;
    }
    // Signed comparison on purpose: dragging a corner past the opposite edge gives a negative
    // size, which is refused like any other too-small frame. Written as "not at least" so
    // that a NaN coordinate is refused too.
    const double minimum = minimumWindowSide(placement);
    if (!(c.width >= minimum && c.height >= minimum &&
          std::isfinite(c.x) && std::isfinite(c.y))) {
        return std::nullopt;
    }
    return c;
}

OverlayDrawing overlayDrawing(Size view, HandlePlacement placement) {
    const double w = view.width;
    const double h = view.height;
    const double b = kBorderWidth;
    const double e = windowOutset(placement) - b;  // from the window's edge to the frame
    OverlayDrawing d;
    d.frameBars = {Rect{e, h - e - b, w - 2 * e, b}, Rect{e, e, w - 2 * e, b}, Rect{e, e + b, b, h - 2 * (e + b)},
                   Rect{w - e - b, e + b, b, h - 2 * (e + b)}};
    for (std::size_t i = 0; i < kAllHandles.size(); ++i) {
        d.handleFills[i] = cornerSquare(kAllHandles[i], view).insetBy(1, 1);
        d.handleStrokes[i] = d.handleFills[i].insetBy(0.5, 0.5);
    }
    return d;
}

std::array<CursorRect, 8> overlayCursorRects(Size view, HandlePlacement placement) {
    const double w = view.width;
    const double h = view.height;
    const double b = windowOutset(placement);
    const double s = kHandleSize;
    return {{
        {cornerSquare(HandlePosition::nw, view), CursorShape::crosshair},
        {cornerSquare(HandlePosition::ne, view), CursorShape::crosshair},
        {cornerSquare(HandlePosition::sw, view), CursorShape::crosshair},
        {cornerSquare(HandlePosition::se, view), CursorShape::crosshair},
        {Rect{s, 0, w - 2 * s, b}, CursorShape::openHand},
        {Rect{s, h - b, w - 2 * s, b}, CursorShape::openHand},
        {Rect{0, s, b, h - 2 * s}, CursorShape::openHand},
        {Rect{w - b, s, b, h - 2 * s}, CursorShape::openHand},
    }};
}

}  // namespace kg::overlay
