#include "capture/x11/excluded_windows.h"

#include <xcb/shape.h>

#include <algorithm>

#include "capture/x11/screen_content.h"

namespace kg::capture {

ExcludedWindows::ExcludedWindows(X11Display& display, const std::vector<std::uint32_t>& windowIds)
    : display_(display) {
    for (std::uint32_t id : windowIds) {
        const std::uint32_t top = topLevelAncestor(display_, id);
        if (top != 0 && std::find(ids_.begin(), ids_.end(), top) == ids_.end()) ids_.push_back(top);
    }
    xcb_connection_t* c = display_.connection();
    for (std::uint32_t id : ids_) {
        // Events first, state second: a change between the two is then seen twice, never lost.
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(c, id, XCB_CW_EVENT_MASK, &mask);
        if (display_.shape.present) xcb_shape_select_input(c, id, 1);
        auto attributes = xcbReply<xcb_get_window_attributes_reply_t>(c, xcb_get_window_attributes_reply,
                                                                       xcb_get_window_attributes(c, id));
        auto geometry = xcbReply<xcb_get_geometry_reply_t>(c, xcb_get_geometry_reply, xcb_get_geometry(c, id));
        if (!attributes || !geometry) continue;
        Tracked window;
        window.id = id;
        window.border = geometry->border_width;
        window.outer = {geometry->x, geometry->y, geometry->width + 2 * window.border,
                        geometry->height + 2 * window.border};
        window.mapped = attributes->map_state != XCB_MAP_STATE_UNMAPPED;
        fetchShape(window);
        windows_.push_back(std::move(window));
    }
}

void ExcludedWindows::fetchShape(Tracked& window) {
    window.shape.assign(1, {-window.border, -window.border, window.outer.width, window.outer.height});
    if (!display_.shape.present) return;
    xcb_connection_t* c = display_.connection();
    auto reply = xcbReply<xcb_shape_get_rectangles_reply_t>(
        c, xcb_shape_get_rectangles_reply, xcb_shape_get_rectangles(c, window.id, XCB_SHAPE_SK_BOUNDING));
    if (!reply) return;
    const xcb_rectangle_t* rects = xcb_shape_get_rectangles_rectangles(reply.get());
    const int count = xcb_shape_get_rectangles_rectangles_length(reply.get());
    window.shape.clear();
    for (int i = 0; i < count; ++i) window.shape.push_back({rects[i].x, rects[i].y, rects[i].width, rects[i].height});
}

ExcludedWindows::Tracked* ExcludedWindows::find(std::uint32_t id) {
    auto it = std::find_if(windows_.begin(), windows_.end(), [&](const Tracked& w) { return w.id == id; });
    return it == windows_.end() ? nullptr : &*it;
}

void ExcludedWindows::hold(const Tracked& window, std::int64_t nowNs) {
    dirty_ = true;
    if (!window.mapped) return;
    const std::int64_t originX = window.outer.x + window.border, originY = window.outer.y + window.border;
    for (const PixelRect& r : window.shape)
        held_.push_back({{originX + r.x, originY + r.y, r.width, r.height}, nowNs + kHoldNs});
}

bool ExcludedWindows::handleEvent(const xcb_generic_event_t& event, std::int64_t nowNs) {
    const std::uint8_t type = event.response_type & 0x7f;
    if (display_.shape.present && type == display_.shape.firstEvent + XCB_SHAPE_NOTIFY) {
        const auto& notify = reinterpret_cast<const xcb_shape_notify_event_t&>(event);
        Tracked* window = find(notify.affected_window);
        if (!window) return false;
        if (notify.shape_kind == XCB_SHAPE_SK_BOUNDING) {
            hold(*window, nowNs);
            fetchShape(*window);
        }
        return true;
    }
    switch (type) {
    case XCB_CONFIGURE_NOTIFY: {
        const auto& notify = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
        Tracked* window = find(notify.window);
        if (!window) return false;
        const PixelRect outer{notify.x, notify.y, notify.width + 2 * notify.border_width,
                              notify.height + 2 * notify.border_width};
        if (outer == window->outer && notify.border_width == window->border) return true;  // restacked only
        hold(*window, nowNs);
        const bool sized = outer.width != window->outer.width || outer.height != window->outer.height;
        window->outer = outer;
        window->border = notify.border_width;
        // An unshaped window's shape is its box, and resizing it sends no ShapeNotify.
        if (sized) fetchShape(*window);
        return true;
    }
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY: {
        const auto& notify = reinterpret_cast<const xcb_map_notify_event_t&>(event);
        Tracked* window = find(notify.window);
        if (!window) return false;
        hold(*window, nowNs);
        window->mapped = type == XCB_MAP_NOTIFY;
        return true;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto& notify = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
        Tracked* window = find(notify.window);
        if (!window) return false;
        hold(*window, nowNs);
        windows_.erase(windows_.begin() + (window - windows_.data()));
        return true;
    }
    default:
        return false;
    }
}

std::vector<PixelRect> ExcludedWindows::boxes() const {
    std::vector<PixelRect> boxes;
    for (const Tracked& w : windows_)
        if (w.mapped) boxes.push_back(w.outer);
    return boxes;
}

const std::vector<PixelRect>& ExcludedWindows::covered(std::int64_t nowNs) {
    const auto expired = std::remove_if(held_.begin(), held_.end(), [&](const Held& h) { return h.untilNs <= nowNs; });
    if (expired != held_.end()) {
        held_.erase(expired, held_.end());
        dirty_ = true;
    }
    if (!dirty_) return covered_;
    dirty_ = false;
    ++generation_;
    covered_.clear();
    for (const Held& h : held_) covered_.push_back(h.rect);
    for (const Tracked& w : windows_) {
        if (!w.mapped) continue;
        for (const PixelRect& r : w.shape)
            covered_.push_back({w.outer.x + w.border + r.x, w.outer.y + w.border + r.y, r.width, r.height});
    }
    return covered_;
}

}  // namespace kg::capture
