#include "capture/x11/windows_below.h"

#include <xcb/composite.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "capture/monotonic_clock.h"
#include "capture/x11/screen_content.h"

namespace kg::capture {

WindowsBelow::WindowsBelow(X11Display& display, std::vector<std::uint32_t> excluded)
    : display_(display), excluded_(std::move(excluded)) {
    xcb_connection_t* c = display_.connection();
    // Events first, list second: a change in between is then seen twice, never lost.
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, display_.root(), XCB_CW_EVENT_MASK, &mask);
    listWindows();
    compositingManager_ = display_.compositingManagerRuns();
    if (compositingManager_) {
        // The manager paints into its overlay window, which lies above all others and shows
        // our windows: it is no window below. Asking for it while the manager holds it only
        // counts one more user, and releasing it right away undoes that.
        auto overlay = xcbReply<xcb_composite_get_overlay_window_reply_t>(
            c, xcb_composite_get_overlay_window_reply, xcb_composite_get_overlay_window(c, display_.root()));
        xcb_composite_release_overlay_window(c, display_.root());
        if (overlay) excluded_.push_back(overlay->overlay_win);
        return;
    }
    // A compositing manager that starts later redirects the windows itself (then this
    // redirection fails quietly and its own serves just as well).
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_composite_redirect_subwindows_checked(c, display_.root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC));
    redirected_ = error == nullptr;
    std::free(error);
}

WindowsBelow::~WindowsBelow() {
    if (!redirected_) return;
    xcb_composite_unredirect_subwindows(display_.connection(), display_.root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    xcb_flush(display_.connection());
}

void WindowsBelow::listWindows() {
    xcb_connection_t* c = display_.connection();
    const std::vector<std::uint32_t> windows = topLevelWindows(display_);
    // Every question is sent before the first answer is read: one round trip for all windows.
    std::vector<xcb_get_window_attributes_cookie_t> attributes;
    std::vector<xcb_get_geometry_cookie_t> geometries;
    for (std::uint32_t w : windows) {
        attributes.push_back(xcb_get_window_attributes(c, w));
        geometries.push_back(xcb_get_geometry(c, w));
    }
    stack_.clear();
    for (std::size_t i = 0; i < windows.size(); ++i) {
        auto attr = xcbReply<xcb_get_window_attributes_reply_t>(c, xcb_get_window_attributes_reply, attributes[i]);
        auto geo = xcbReply<xcb_get_geometry_reply_t>(c, xcb_get_geometry_reply, geometries[i]);
        if (!attr || !geo) continue;
        const std::int64_t border = geo->border_width;
        stack_.push_back({windows[i], {geo->x, geo->y, geo->width + 2 * border, geo->height + 2 * border}, border,
                          attr->map_state != XCB_MAP_STATE_UNMAPPED, attr->_class != XCB_WINDOW_CLASS_INPUT_ONLY, std::nullopt});
    }
}

std::vector<WindowsBelow::WindowBox>::iterator WindowsBelow::find(std::uint32_t id) {
    return std::find_if(stack_.begin(), stack_.end(), [&](const WindowBox& w) { return w.id == id; });
}

void WindowsBelow::noteChange(WindowBox& window, const WindowBox& before) const {
    if (!compositingManager_) return;
    const PixelRect screen{0, 0, display_.width(), display_.height()};
    // A window that keeps moving: once the screen was repainted over the place it just left,
    // that place is what the screen shows, not the one before it.
    const PixelRect left = before.mapped ? before.outer.intersected(screen) : PixelRect{};
    if (!window.shown || left.empty() || window.shown->repainted.intersected(left) == left)
        window.shown = WindowBox::Shown{before.outer, before.border, before.mapped, {}, {}, 0};
    WindowBox::Shown& shown = *window.shown;
    shown.repaintWanted = (shown.mapped ? shown.outer.intersected(screen) : PixelRect{})
                              .united(window.mapped ? window.outer.intersected(screen) : PixelRect{});
    shown.repainted = {};
    shown.untilNs = monotonicNowNs() + kShowNs;
    if (shown.repaintWanted.empty()) window.shown.reset();  // on the screen neither before nor now
}

void WindowsBelow::screenChanged(const PixelRect& rect) {
    for (WindowBox& window : stack_) {
        if (!window.shown || !rect.intersects(window.shown->repaintWanted)) continue;
        WindowBox::Shown& shown = *window.shown;
        shown.repainted = shown.repainted.united(rect);
        if (shown.repainted.intersected(shown.repaintWanted) == shown.repaintWanted) window.shown.reset();
    }
}

bool WindowsBelow::handleEvent(const xcb_generic_event_t& event, std::vector<PixelRect>& vacated) {
    const xcb_window_t root = display_.root();
    switch (event.response_type & 0x7f) {
    case XCB_CREATE_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_create_notify_event_t&>(event);
        if (e.parent != root) return false;
        if (find(e.window) == stack_.end())
            stack_.push_back({e.window, {e.x, e.y, e.width + 2 * e.border_width, e.height + 2 * e.border_width}, e.border_width,
                              false, true, std::nullopt});
        return true;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
        if (e.event != root) return false;
        if (auto it = find(e.window); it != stack_.end()) {
            if (it->mapped && !isExcluded(it->id)) vacated.push_back(it->outer);
            stack_.erase(it);
        }
        return true;
    }
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_map_notify_event_t&>(event);
        if (e.event != root) return false;
        if (auto it = find(e.window); it != stack_.end()) {
            const WindowBox before = *it;
            it->mapped = (event.response_type & 0x7f) == XCB_MAP_NOTIFY;
            noteChange(*it, before);
            if (!it->mapped && !isExcluded(it->id)) vacated.push_back(it->outer);
        }
        return true;
    }
    case XCB_CONFIGURE_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
        if (e.event != root) return false;
        auto it = find(e.window);
        if (it == stack_.end()) return true;
        WindowBox window = *it;
        const PixelRect outer{e.x, e.y, e.width + 2 * e.border_width, e.height + 2 * e.border_width};
        if (window.mapped && !(outer == window.outer) && !isExcluded(window.id)) vacated.push_back(window.outer);
        const WindowBox before = window;
        window.border = e.border_width;
        window.outer = outer;
        if (!(outer == before.outer)) noteChange(window, before);
        stack_.erase(it);
        const auto below = e.above_sibling == XCB_NONE ? stack_.begin() : find(e.above_sibling);
        stack_.insert(below == stack_.end() ? stack_.end() : below + (e.above_sibling == XCB_NONE ? 0 : 1), window);
        return true;
    }
    case XCB_CIRCULATE_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_circulate_notify_event_t&>(event);
        if (e.event != root) return false;
        auto it = find(e.window);
        if (it == stack_.end()) return true;
        const WindowBox window = *it;
        stack_.erase(it);
        stack_.insert(e.place == XCB_PLACE_ON_TOP ? stack_.end() : stack_.begin(), window);
        return true;
    }
    case XCB_REPARENT_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_reparent_notify_event_t&>(event);
        if (e.event != root) return false;
        // Rare (a window manager framing or releasing a window): listed afresh.
        listWindows();
        return true;
    }
    default:
        return false;
    }
}

bool WindowsBelow::isExcluded(std::uint32_t id) const {
    return std::find(excluded_.begin(), excluded_.end(), id) != excluded_.end();
}

std::vector<WindowsBelow::WindowBox> WindowsBelow::windowsBelow() const {
    const std::int64_t now = monotonicNowNs();
    std::vector<WindowBox> windows;
    for (const WindowBox& w : stack_) {
        if (!w.mapped || !w.readable || isExcluded(w.id)) continue;  // an unmapped window has no pixels to give
        WindowBox seen = w;
        if (w.shown && now < w.shown->untilNs) {
            if (!w.shown->mapped) continue;
            // Its pixels are read at the place shown, no further than the window now reaches.
            seen.outer = {w.shown->outer.x, w.shown->outer.y, std::min(w.shown->outer.width, w.outer.width),
                          std::min(w.shown->outer.height, w.outer.height)};
            seen.border = w.shown->border;
        }
        windows.push_back(seen);
    }
    return windows;
}

void WindowsBelow::learnBackground(const BgrxView& screen) {
    const std::vector<WindowBox> windows = windowsBelow();
    std::unordered_map<std::uint32_t, int> counts;
    // A sparse grid is plenty for a colour that fills whatever the windows leave free.
    for (int y = 0; y < screen.height; y += 4) {
        for (int x = 0; x < screen.width; x += 4) {
            const bool onWindow = std::any_of(windows.begin(), windows.end(), [&](const WindowBox& w) {
                return x >= w.outer.x && x < w.outer.right() && y >= w.outer.y && y < w.outer.bottom();
            });
            if (onWindow) continue;
            std::uint32_t pixel;
            std::memcpy(&pixel, screen.pixel(x, y), 4);
            ++counts[pixel & 0xffffff];
        }
    }
    const auto best = std::max_element(counts.begin(), counts.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    if (best != counts.end()) background_ = best->first;
}

void WindowsBelow::paint(const xcb_get_image_reply_t& image, const PixelRect& part, Area& area) const {
    if (image.depth != 24 && image.depth != 32) return;
    const std::size_t rowBytes = static_cast<std::size_t>(part.width) * 4;
    if (static_cast<std::size_t>(xcb_get_image_data_length(&image)) < rowBytes * static_cast<std::size_t>(part.height))
        return;
    const std::uint8_t* source = xcb_get_image_data(&image);
    // Without a compositing manager the server copies a translucent window's premultiplied
    // pixels as they are; a manager lays them "over" what is below.
    const bool blend = image.depth == 32 && compositingManager_;
    for (std::int64_t row = 0; row < part.height; ++row) {
        const std::size_t at = static_cast<std::size_t>((part.y - area.rect.y + row) * area.rect.width + part.x - area.rect.x);
        const std::uint8_t* s = source + row * rowBytes;
        for (std::int64_t x = 0; x < part.width; ++x, s += 4) {
            auto* d = reinterpret_cast<std::uint8_t*>(&area.pixels[at + x]);
            area.painted[at + x] = 1;
            if (!blend) {
                std::memcpy(d, s, 4);
                continue;
            }
            const int keep = 255 - s[3];
            for (int i = 0; i < 3; ++i) d[i] = static_cast<std::uint8_t>(s[i] + (d[i] * keep + 127) / 255);
        }
    }
}

std::vector<WindowsBelow::Area> WindowsBelow::rebuild(const std::vector<PixelRect>& rects) {
    std::vector<Area> areas;
    for (const PixelRect& r : rects) {
        const auto size = static_cast<std::size_t>(r.width * r.height);
        areas.push_back({r, std::vector<std::uint32_t>(size, background_), std::vector<std::uint8_t>(size, 0)});
    }
    if (areas.empty()) return areas;
    xcb_connection_t* c = display_.connection();
    struct Request {
        std::uint32_t window;
        std::size_t area;
        PixelRect part;
        xcb_get_image_cookie_t cookie;
    };
    std::vector<Request> requests;
    // GetImage on a window must stay inside the window and inside the screen.
    const PixelRect screen{0, 0, display_.width(), display_.height()};
    for (const WindowBox& window : windowsBelow()) {
        const std::int64_t insideX = window.outer.x + window.border, insideY = window.outer.y + window.border;
        for (std::size_t i = 0; i < areas.size(); ++i) {
            const PixelRect part = window.outer.intersected(areas[i].rect).intersected(screen);
            if (part.empty()) continue;
            requests.push_back({window.id, i, part,
                                xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window.id, static_cast<std::int16_t>(part.x - insideX),
                                              static_cast<std::int16_t>(part.y - insideY), static_cast<std::uint16_t>(part.width),
                                              static_cast<std::uint16_t>(part.height), ~0u)});
        }
    }
    // In request order, that is bottom to top per area.
    for (const Request& request : requests) {
        xcb_generic_error_t* error = nullptr;
        XcbReply<xcb_get_image_reply_t> image(xcb_get_image_reply(c, request.cookie, &error));
        // An input-only window (its class is not in the events that announce it) has no
        // pixels to give: asked no more.
        if (error && error->error_code == XCB_MATCH)
            if (auto it = find(request.window); it != stack_.end()) it->readable = false;
        std::free(error);
        if (image) paint(*image, request.part, areas[request.area]);
    }
    return areas;
}

}  // namespace kg::capture
