#include "capture/x11/cursor_tracker.h"

#include <xcb/xfixes.h>

#include <cstring>
#include <utility>

namespace kg::capture {

CursorTracker::CursorTracker(X11Display& display) : display_(display) {
    if (display_.xfixes.present)
        xcb_xfixes_select_cursor_input(display_.connection(), display_.root(),
                                       XCB_XFIXES_CURSOR_NOTIFY_MASK_DISPLAY_CURSOR);
}

bool CursorTracker::handleEvent(const xcb_generic_event_t& event) {
    if (!display_.xfixes.present) return false;
    if ((event.response_type & 0x7f) != display_.xfixes.firstEvent + XCB_XFIXES_CURSOR_NOTIFY) return false;
    shapeChanged_ = true;
    return true;
}

void CursorTracker::fetchImage() {
    xcb_connection_t* c = display_.connection();
    auto reply = xcbReply<xcb_xfixes_get_cursor_image_reply_t>(c, xcb_xfixes_get_cursor_image_reply,
                                                                xcb_xfixes_get_cursor_image(c));
    if (!reply) return;
    image_.width = reply->width;
    image_.height = reply->height;
    image_.hotX = reply->xhot;
    image_.hotY = reply->yhot;
    const int length = xcb_xfixes_get_cursor_image_cursor_image_length(reply.get());
    const std::uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
    image_.argb.assign(pixels, pixels + length);
    x_ = reply->x;
    y_ = reply->y;
    visible_ = true;
}

PixelRect CursorTracker::bounds() const {
    if (!visible_) return {};
    return {x_ - image_.hotX, y_ - image_.hotY, image_.width, image_.height};
}

bool CursorTracker::refresh(const PixelRect& watched) {
    if (!display_.xfixes.present) return false;
    xcb_connection_t* c = display_.connection();
    bool fetched = false;
    if (shapeChanged_) {
        fetchImage();
        shapeChanged_ = false;
        fetched = true;
    } else {
        auto pointer = xcbReply<xcb_query_pointer_reply_t>(c, xcb_query_pointer_reply,
                                                            xcb_query_pointer(c, display_.root()));
        if (pointer) {
            visible_ = pointer->same_screen != 0;
            x_ = pointer->root_x;
            y_ = pointer->root_y;
        }
    }
    PixelRect now = bounds().intersected(watched);
    if (now.empty()) now = {};
    const bool changed = !(now == lastBounds_) || (fetched && !now.empty());
    lastBounds_ = now;
    return changed;
}

PixelRect CursorTracker::draw(const BgrxView& frame, std::int64_t originX, std::int64_t originY) {
    under_ = {};
    if (!visible_) return {};
    const PixelRect drawn = PixelRect{x_ - image_.hotX - originX, y_ - image_.hotY - originY, image_.width, image_.height}
                                .intersected({0, 0, frame.width, frame.height});
    if (drawn.empty()) return {};
    underPixels_.resize(static_cast<std::size_t>(drawn.width * drawn.height));
    for (std::int64_t row = 0; row < drawn.height; ++row)
        std::memcpy(underPixels_.data() + row * drawn.width, frame.pixel(static_cast<int>(drawn.x), static_cast<int>(drawn.y + row)),
                    static_cast<std::size_t>(drawn.width) * 4);
    under_ = drawn;
    blendCursor(frame, image_, x_ - originX, y_ - originY);
    return drawn;
}

PixelRect CursorTracker::undraw(const BgrxView& frame) {
    const PixelRect drawn = std::exchange(under_, {});
    for (std::int64_t row = 0; row < drawn.height; ++row)
        std::memcpy(frame.pixel(static_cast<int>(drawn.x), static_cast<int>(drawn.y + row)), underPixels_.data() + row * drawn.width,
                    static_cast<std::size_t>(drawn.width) * 4);
    return drawn;
}

}  // namespace kg::capture
