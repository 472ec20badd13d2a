#pragma once
// Plain geometry shared by every layer. No toolkit types here.
//
// Coordinate spaces used across the tool (all in points, never pixels):
// - global: the screen space, origin at the lower-left corner of the main screen, y up;
// - view: a view's own space, origin at its lower-left corner, y up;
// - region: x as in global space, y measured downward from the top edge of the main screen.
//   A rectangle with global y-up origin Y and height h has region y = H - Y - h, where H is
//   the main screen's frame height (see flipY below).
// - capture source: origin at the first display's top-left corner, y down; region
//   rectangles are passed to the capture engine unchanged.

#include <algorithm>

namespace kg {

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    [[nodiscard]] double minX() const { return std::min(x, x + width); }
    [[nodiscard]] double maxX() const { return std::max(x, x + width); }
    [[nodiscard]] double minY() const { return std::min(y, y + height); }
    [[nodiscard]] double maxY() const { return std::max(y, y + height); }
    [[nodiscard]] double midX() const { return x + width / 2; }
    [[nodiscard]] double midY() const { return y + height / 2; }
    [[nodiscard]] Point origin() const { return {x, y}; }
    [[nodiscard]] Size size() const { return {width, height}; }

    // Half-open containment: x <= px < x + width and y <= py < y + height. A rectangle with no
    // width or height contains nothing.
    [[nodiscard]] bool contains(Point p) const {
        return x <= p.x && p.x < x + width && y <= p.y && p.y < y + height;
    }
    [[nodiscard]] Rect insetBy(double dx, double dy) const {
        return {x + dx, y + dy, width - 2 * dx, height - 2 * dy};
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Converts a rectangle between global y-up and region (y-down from the main screen's top)
// coordinates; the conversion is its own inverse. H is the main screen's frame height.
[[nodiscard]] inline Rect flipY(const Rect& r, double mainScreenHeight) {
    return {r.x, mainScreenHeight - r.y - r.height, r.width, r.height};
}

}  // namespace kg
