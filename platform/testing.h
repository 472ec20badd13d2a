#pragma once
// Test facilities: draw views into memory and feed windows events through the same paths as
// the X server's. For tests only (any platform, QT_QPA_PLATFORM=offscreen included); main
// thread, after Application::open().

#include <cstdint>
#include <vector>

#include "platform/geometry.h"
#include "platform/view.h"
#include "platform/window.h"

namespace kg {

struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;  // not premultiplied
    friend bool operator==(const Rgba&, const Rgba&) = default;
};

// Pixels of a rendering, one per point.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<Rgba> rowsTopDown;  // width * height, first row at the top

    // The pixel whose lower-left corner is (x, y) in view coordinates (y up).
    [[nodiscard]] Rgba at(int x, int y) const {
        return rowsTopDown[static_cast<std::size_t>((height - 1 - y) * width + x)];
    }
};

// Draws the window as it would appear: backdrop (SnapshotBackdrop without a compositing
// manager) and content view.
[[nodiscard]] Image renderWindowForTesting(Window& window);

enum class MouseAction { Down, Dragged, Up };
// Delivers a left-button event at `locationInWindow` (y up; may lie outside the window) to the
// window's event handling, as the X server would.
void sendMouseEventForTesting(Window& window, MouseAction action, Point locationInWindow);
// Serves every pending event and redraw.
void processEventsForTesting();

}  // namespace kg
