#include "capture/x11/screen_content.h"

#include <xcb/randr.h>

namespace kg::capture {

std::vector<DisplayInfo> listDisplays(const X11Display& display) {
    std::vector<DisplayInfo> displays;
    xcb_connection_t* c = display.connection();
    if (!display.randr.present) {
        displays.push_back({{0, 0, display.width(), display.height()}, true});
        return displays;
    }
    auto reply = xcbReply<xcb_randr_get_monitors_reply_t>(c, xcb_randr_get_monitors_reply,
                                                           xcb_randr_get_monitors(c, display.root(), 1));
    if (!reply) {
        displays.push_back({{0, 0, display.width(), display.height()}, true});
        return displays;
    }
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem; xcb_randr_monitor_info_next(&it)) {
        const auto* m = it.data;
        if (m->width == 0 || m->height == 0) continue;
        DisplayInfo info{{m->x, m->y, m->width, m->height}, m->primary != 0};
        if (info.primary)
            displays.insert(displays.begin(), info);
        else
            displays.push_back(info);
    }
    return displays;
}

std::vector<std::uint32_t> topLevelWindows(const X11Display& display) {
    xcb_connection_t* c = display.connection();
    auto tree = xcbReply<xcb_query_tree_reply_t>(c, xcb_query_tree_reply, xcb_query_tree(c, display.root()));
    if (!tree) return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return {children, children + xcb_query_tree_children_length(tree.get())};
}

std::uint32_t topLevelAncestor(const X11Display& display, std::uint32_t window) {
    xcb_connection_t* c = display.connection();
    // Bounded walk: window trees are shallow, and a server that answered nonsense must not
    // keep us here.
    for (int depth = 0; depth < 64 && window != 0; ++depth) {
        if (window == display.root()) return 0;
        auto tree = xcbReply<xcb_query_tree_reply_t>(c, xcb_query_tree_reply, xcb_query_tree(c, window));
        if (!tree) return 0;
        if (tree->parent == display.root()) return window;
        window = tree->parent;
    }
    return 0;
}

}  // namespace kg::capture
