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

}  // namespace

bool available() { return connection() != nullptr; }

bool hasCompositingManager() {
    xcb_connection_t* c = connection();
    if (!c) return true;  // offscreen: alpha is kept as drawn
    int number = 0;
    if (!defaultScreen(c, &number)) return false;
    const std::string name = "_NET_WM_CM_S" + std::to_string(number);
    Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.c_str()), nullptr));
    if (!atom) return false;
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr));
    return owner && owner->owner != XCB_NONE;
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

}  // namespace kg::x11
