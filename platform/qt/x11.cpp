#include "platform/qt/x11.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#include <string>

namespace kg::x11 {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_connection_t* connection() {
    auto* app = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return app ? app->connection() : nullptr;
}

xcb_screen_t* defaultScreen(xcb_connection_t* c, int* number) {
    // Qt does not expose the default screen number; DISPLAY names it.
    int screenNumber = 0;
    if (const char* display = std::getenv("DISPLAY")) {
        const std::string d = display;
        const auto dot = d.rfind('.');
        const auto colon = d.rfind(':');
        if (dot != std::string::npos && colon != std::string::npos && dot > colon) {
            screenNumber = std::atoi(d.c_str() + dot + 1);
        }
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem && i < screenNumber; ++i) xcb_screen_next(&it);
    if (number) *number = screenNumber;
    return it.rem ? it.data : nullptr;
}

std::vector<xcb_rectangle_t> toXcb(const std::vector<PixelRect>& rects) {
    std::vector<xcb_rectangle_t> out;
    out.reserve(rects.size());
    for (const auto& r : rects) {
        out.push_back({static_cast<int16_t>(r.x), static_cast<int16_t>(r.y),
                       static_cast<uint16_t>(r.width), static_cast<uint16_t>(r.height)});
    }
    return out;
}

xcb_atom_t internAtom(xcb_connection_t* c, const std::string& name) {
    Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.c_str()), nullptr));
    return atom ? atom->atom : xcb_atom_t{XCB_ATOM_NONE};
}

bool selectionOwned(xcb_connection_t* c, const std::string& name) {
    const xcb_atom_t atom = internAtom(c, name);
    if (atom == XCB_ATOM_NONE) return false;
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom), nullptr));
    return owner && owner->owner != XCB_NONE;
}

// The window named by a WINDOW property, or 0.
xcb_window_t windowProperty(xcb_connection_t* c, xcb_window_t window, const char* name) {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, internAtom(c, name), XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!reply || reply->type != XCB_ATOM_WINDOW || xcb_get_property_value_length(reply.get()) < 4) return 0;
    return *static_cast<xcb_window_t*>(xcb_get_property_value(reply.get()));
}

bool viewable(xcb_connection_t* c, xcb_window_t window) {
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

}  // namespace

bool available() { return connection() != nullptr; }

bool connectionLost() {
    xcb_connection_t* c = connection();
    return c != nullptr && xcb_connection_has_error(c) != 0;
}

bool hasCompositingManager() {
    xcb_connection_t* c = connection();
    if (!c) return false;
    int number = 0;
    if (!defaultScreen(c, &number)) return false;
    return selectionOwned(c, "_NET_WM_CM_S" + std::to_string(number));
}

void sync() {
    xcb_connection_t* c = connection();
    if (!c) return;
    Reply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

QImage grabRoot(const QRect& rect) {
    xcb_connection_t* c = connection();
    if (!c || rect.isEmpty()) return {};
    xcb_screen_t* screen = defaultScreen(c, nullptr);
    if (!screen) return {};
    Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, static_cast<int16_t>(rect.x()),
                      static_cast<int16_t>(rect.y()), static_cast<uint16_t>(rect.width()),
                      static_cast<uint16_t>(rect.height()), ~0u),
        nullptr));
    if (!reply || (reply->depth != 24 && reply->depth != 32)) return {};
    const int length = xcb_get_image_data_length(reply.get());
    const auto bytesPerLine = static_cast<qsizetype>(length / rect.height());
    if (bytesPerLine < rect.width() * 4) return {};
    QImage image(xcb_get_image_data(reply.get()), rect.width(), rect.height(), bytesPerLine,
                 QImage::Format_RGB32);
    return image.copy();  // detach from the reply before it is freed
}

void setShape(std::uint32_t window, ShapeKind kind, const std::vector<PixelRect>& rects) {
    xcb_connection_t* c = connection();
    if (!c || window == 0) return;
    const auto xrects = toXcb(rects);
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET,
                         kind == ShapeKind::Bounding ? XCB_SHAPE_SK_BOUNDING : XCB_SHAPE_SK_INPUT,
                         XCB_CLIP_ORDERING_UNSORTED, window, 0, 0,
                         static_cast<uint32_t>(xrects.size()), xrects.data());
    xcb_flush(c);
}

void clearShape(std::uint32_t window, ShapeKind kind) {
    xcb_connection_t* c = connection();
    if (!c || window == 0) return;
    xcb_shape_mask(c, XCB_SHAPE_SO_SET,
                   kind == ShapeKind::Bounding ? XCB_SHAPE_SK_BOUNDING : XCB_SHAPE_SK_INPUT,
                   window, 0, 0, XCB_NONE);
    xcb_flush(c);
}


void setNoShadowHints(std::uint32_t window) {
    xcb_connection_t* c = connection();
    if (!c || window == 0) return;
    const std::uint32_t zero[4] = {0, 0, 0, 0};
    const std::uint32_t one = 1;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, internAtom(c, "_COMPTON_SHADOW"), XCB_ATOM_CARDINAL, 32,
                        1, zero);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, internAtom(c, "_GTK_FRAME_EXTENTS"), XCB_ATOM_CARDINAL,
                        32, 4, zero);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, internAtom(c, "_KDE_NET_WM_SKIP_CLOSE_ANIMATION"),
                        XCB_ATOM_CARDINAL, 32, 1, &one);
    xcb_delete_property(c, window, internAtom(c, "_KDE_NET_WM_SHADOW"));
    xcb_flush(c);
}

bool hasWindowManager() {
    xcb_connection_t* c = connection();
    if (!c) return false;
    int number = 0;
    xcb_screen_t* screen = defaultScreen(c, &number);
    if (!screen) return false;
    // The check window names itself while its manager lives; a stale property names nothing.
    const xcb_window_t check = windowProperty(c, screen->root, "_NET_SUPPORTING_WM_CHECK");
    if (check != 0 && windowProperty(c, check, "_NET_SUPPORTING_WM_CHECK") == check) return true;
    return selectionOwned(c, "WM_S" + std::to_string(number));
}

std::uint32_t inputFocus() {
    xcb_connection_t* c = connection();
    if (!c) return kFocusNone;
    Reply<xcb_get_input_focus_reply_t> reply(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return reply ? reply->focus : kFocusNone;
}

void restoreInputFocus(std::uint32_t focus) {
    xcb_connection_t* c = connection();
    if (!c) return;
    if (focus > kFocusPointerRoot && !viewable(c, focus)) focus = kFocusPointerRoot;
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, focus, XCB_CURRENT_TIME);
    xcb_flush(c);
}

std::vector<std::uint32_t> mappedTopLevelWindows() {
    std::vector<std::uint32_t> out;
    xcb_connection_t* c = connection();
    xcb_screen_t* screen = c ? defaultScreen(c, nullptr) : nullptr;
    if (!screen) return out;
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, screen->root), nullptr));
    if (!tree) return out;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    cookies.reserve(count);
    for (int i = 0; i < count; ++i) cookies.push_back(xcb_get_window_attributes(c, children[i]));
    for (int i = 0; i < count; ++i) {
        Reply<xcb_get_window_attributes_reply_t> a(xcb_get_window_attributes_reply(c, cookies[i], nullptr));
        if (a && a->map_state == XCB_MAP_STATE_VIEWABLE) out.push_back(children[i]);
    }
    return out;
}

bool createdHere(std::uint32_t window) {
    xcb_connection_t* c = connection();
    if (!c) return false;
    const xcb_setup_t* setup = xcb_get_setup(c);
    return (window & ~setup->resource_id_mask) == setup->resource_id_base;
}

void raise(const std::vector<std::uint32_t>& windows) {
    xcb_connection_t* c = connection();
    if (!c) return;
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    for (const std::uint32_t w : windows) xcb_configure_window(c, w, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(c);
}

bool watchTopLevelWindows() {
    xcb_connection_t* c = connection();
    xcb_screen_t* screen = c ? defaultScreen(c, nullptr) : nullptr;
    if (!screen) return false;
    Reply<xcb_get_window_attributes_reply_t> a(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, screen->root), nullptr));
    if (!a || (a->your_event_mask & XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY) != 0) return false;
    const std::uint32_t mask = a->your_event_mask | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    return true;
}

std::uint32_t rootWindow() {
    xcb_connection_t* c = connection();
    xcb_screen_t* screen = c ? defaultScreen(c, nullptr) : nullptr;
    return screen ? screen->root : 0;
}

}  // namespace kg::x11
