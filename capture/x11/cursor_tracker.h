#pragma once
// Follows the pointer: its position (asked each frame tick, one small round trip) and its
// picture (fetched again only when XFIXES reports that it changed).
//
// Threads: the thread that owns the X11Display.

#include <xcb/xcb.h>

#include <cstdint>
#include <vector>

#include "capture/capture_geometry.h"
#include "capture/x11/cursor_image.h"
#include "capture/x11/x11_display.h"

namespace kg::capture {

class CursorTracker {
public:
    explicit CursorTracker(X11Display& display);

    // Consumes the event when it is a cursor change notification; returns whether it was.
    bool handleEvent(const xcb_generic_event_t& event);

    // Updates position and picture. Returns true when the drawn cursor would differ inside
    // `watched` (root coordinates) from what was drawn at the previous call.
    bool refresh(const PixelRect& watched);

    // Draws the cursor into `frame`, whose top-left pixel is (originX, originY) in root
    // coordinates, keeping the pixels it covers. Returns the rectangle drawn over (frame
    // pixels; empty when none).
    PixelRect draw(const BgrxView& frame, std::int64_t originX, std::int64_t originY);
    // Puts back into the same frame what the last draw() covered; returns that rectangle.
    PixelRect undraw(const BgrxView& frame);
    // Forgets the last draw(): its frame was grabbed anew.
    void forgetDrawn() { under_ = {}; }

private:
    void fetchImage();
    [[nodiscard]] PixelRect bounds() const;

    X11Display& display_;
    CursorImage image_;
    std::int64_t x_ = 0, y_ = 0;
    bool visible_ = false;
    bool shapeChanged_ = true;
    PixelRect lastBounds_;
    PixelRect under_;  // frame pixels, kept in `underPixels_`
    std::vector<std::uint32_t> underPixels_;
};

}  // namespace kg::capture
