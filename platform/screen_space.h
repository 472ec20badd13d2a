#pragma once
// The one place where the toolkit's desktop space meets the tool's global space. Pure
// arithmetic, no toolkit types, so it is unit-tested on its own.
//
// - desktop space (what Qt and the X server use): logical pixels, which this layer treats as
//   points; origin at the top-left corner of the X root window; y grows downward.
// - global space (what every caller of platform/ sees): points, origin at the lower-left corner
//   of the main screen, y grows upward. `mainScreenDesktop` is the main screen's rectangle in
//   desktop space.
//
// A desktop position names the top-left corner of a pixel, so a press on pixel (100, 200) of a
// main screen 900 points high is the global point (100, 700). Region coordinates (see
// geometry.h) are therefore the desktop coordinates minus the main screen's top-left corner.

#include "platform/geometry.h"

namespace kg {

[[nodiscard]] inline Point globalFromDesktop(Point p, const Rect& mainScreenDesktop) {
    return {p.x - mainScreenDesktop.x, mainScreenDesktop.y + mainScreenDesktop.height - p.y};
}

[[nodiscard]] inline Point desktopFromGlobal(Point p, const Rect& mainScreenDesktop) {
    return {p.x + mainScreenDesktop.x, mainScreenDesktop.y + mainScreenDesktop.height - p.y};
}

// Rectangles keep their size; the origin moves from the top-left (desktop) to the lower-left
// (global) corner and back.
[[nodiscard]] inline Rect globalFromDesktop(const Rect& r, const Rect& mainScreenDesktop) {
    return {r.x - mainScreenDesktop.x,
            mainScreenDesktop.y + mainScreenDesktop.height - (r.y + r.height), r.width,
            r.height};
}

[[nodiscard]] inline Rect desktopFromGlobal(const Rect& r, const Rect& mainScreenDesktop) {
    return {r.x + mainScreenDesktop.x,
            mainScreenDesktop.y + mainScreenDesktop.height - (r.y + r.height), r.width,
            r.height};
}

// A point inside a window of height `windowHeight`: window-local y-down (the toolkit's event
// position) to y-up (what views see), and back. The same formula serves both directions.
[[nodiscard]] inline Point flipInHeight(Point p, double windowHeight) {
    return {p.x, windowHeight - p.y};
}

// A rectangle inside a box of height `height`, y-up to y-down and back.
[[nodiscard]] inline Rect flipInHeight(const Rect& r, double height) {
    return {r.x, height - r.y - r.height, r.width, r.height};
}

}  // namespace kg
