#pragma once
// What there is to capture: the displays and the top-level windows of the X server.
// Called on the thread that owns the X11Display.

#include <cstdint>
#include <vector>

#include "capture/capture_geometry.h"
#include "capture/x11/x11_display.h"

namespace kg::capture {

struct DisplayInfo {
    PixelRect frame;  // root coordinates; its size is the display's size in points
    bool primary = false;
};

// The RandR monitors, the primary one first, the others in the server's order. Without RandR
// 1.5 the whole X screen is the one display. May be empty (no active monitor).
[[nodiscard]] std::vector<DisplayInfo> listDisplays(const X11Display& display);

// The top-level windows (children of the root window), bottom to top in stacking order.
[[nodiscard]] std::vector<std::uint32_t> topLevelWindows(const X11Display& display);

// The top-level window that holds `window` (itself when it is a child of the root window, its
// frame when a window manager reparented it), or 0 when there is no such window.
[[nodiscard]] std::uint32_t topLevelAncestor(const X11Display& display, std::uint32_t window);

}  // namespace kg::capture
