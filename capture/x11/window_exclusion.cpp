#include "capture/x11/window_exclusion.h"

#include <xcb/composite.h>

#include <algorithm>
#include <cstring>

#include "capture/x11/screen_content.h"

namespace kg::capture {

WindowExclusion::WindowExclusion(X11Display& display, const std::vector<std::uint32_t>& windowIds)
    : display_(display) {
    for (std::uint32_t id : windowIds) {
        const std::uint32_t top = topLevelAncestor(display_, id);
        if (top != 0 && std::find(excluded_.begin(), excluded_.end(), top) == excluded_.end())
            excluded_.push_back(top);
    }
    if (excluded_.empty() || !display_.composite.present) return;
    // Redirection costs the server an off-screen copy per window, so it is asked for only
    // when there is something to leave out. A compositing manager may already redirect the
    // windows; then this request fails and its redirection serves just as well.
    xcb_connection_t* c = display_.connection();
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_composite_redirect_subwindows_checked(c, display_.root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC));
    redirected_ = error == nullptr;
    std::free(error);
}

WindowExclusion::~WindowExclusion() {
    if (redirected_) {
        xcb_composite_unredirect_subwindows(display_.connection(), display_.root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC);
        xcb_flush(display_.connection());
    }
}

std::vector<WindowExclusion::WindowBox> WindowExclusion::viewableWindows() const {
    xcb_connection_t* c = display_.connection();
    const std::vector<std::uint32_t> windows = topLevelWindows(display_);
    // Every question is sent before the first answer is read: one round trip for all windows.
    std::vector<xcb_get_window_attributes_cookie_t> attributes;
    std::vector<xcb_get_geometry_cookie_t> geometries;
    for (std::uint32_t w : windows) {
        attributes.push_back(xcb_get_window_attributes(c, w));
        geometries.push_back(xcb_get_geometry(c, w));
    }
    std::vector<WindowBox> boxes;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        auto attr = xcbReply<xcb_get_window_attributes_reply_t>(c, xcb_get_window_attributes_reply, attributes[i]);
        auto geo = xcbReply<xcb_get_geometry_reply_t>(c, xcb_get_geometry_reply, geometries[i]);
        if (!attr || !geo || attr->map_state != XCB_MAP_STATE_VIEWABLE || attr->_class == XCB_WINDOW_CLASS_INPUT_ONLY)
            continue;
        WindowBox box;
        box.id = windows[i];
        box.border = geo->border_width;
        box.outer = {geo->x, geo->y, geo->width + 2 * box.border, geo->height + 2 * box.border};
        box.excluded = std::find(excluded_.begin(), excluded_.end(), windows[i]) != excluded_.end();
        boxes.push_back(box);
    }
    return boxes;
}

void WindowExclusion::paintWindow(const BgrxView& frame, const PixelRect& frameRect, const WindowBox& window,
                                  const PixelRect& area) const {
    // GetImage on a window must stay inside the window and inside the screen.
    const PixelRect screen{0, 0, display_.width(), display_.height()};
    const PixelRect part = window.outer.intersected(area).intersected(screen);
    if (part.empty()) return;
    xcb_connection_t* c = display_.connection();
    const std::int64_t insideX = window.outer.x + window.border, insideY = window.outer.y + window.border;
    auto image = xcbReply<xcb_get_image_reply_t>(
        c, xcb_get_image_reply,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window.id, static_cast<std::int16_t>(part.x - insideX),
                      static_cast<std::int16_t>(part.y - insideY), static_cast<std::uint16_t>(part.width),
                      static_cast<std::uint16_t>(part.height), ~0u));
    if (!image || (image->depth != 24 && image->depth != 32)) return;
    const std::size_t rowBytes = static_cast<std::size_t>(part.width) * 4;
    if (static_cast<std::size_t>(xcb_get_image_data_length(image.get())) < rowBytes * static_cast<std::size_t>(part.height))
        return;
    const std::uint8_t* source = xcb_get_image_data(image.get());
    for (std::int64_t row = 0; row < part.height; ++row) {
        std::memcpy(frame.pixel(static_cast<int>(part.x - frameRect.x), static_cast<int>(part.y - frameRect.y + row)),
                    source + row * rowBytes, rowBytes);
    }
}

bool WindowExclusion::rebuild(const BgrxView& frame, const PixelRect& frameRect) {
    if (excluded_.empty()) return false;
    const std::vector<WindowBox> windows = viewableWindows();
    bool touched = false;
    for (const WindowBox& hidden : windows) {
        if (!hidden.excluded) continue;
        const PixelRect area = hidden.outer.intersected(frameRect);
        if (area.empty()) continue;
        touched = true;
        for (std::int64_t row = 0; row < area.height; ++row) {
            std::memset(frame.pixel(static_cast<int>(area.x - frameRect.x), static_cast<int>(area.y - frameRect.y + row)),
                        0, static_cast<std::size_t>(area.width) * 4);
        }
        for (const WindowBox& window : windows) {
            if (!window.excluded) paintWindow(frame, frameRect, window, area);
        }
    }
    return touched;
}

}  // namespace kg::capture
