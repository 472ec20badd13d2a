#include "tests/support/x11_test_scene.h"

#include <xcb/shape.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace kg::test {

namespace {

xcb_visualid_t argbVisual(xcb_screen_t* screen) {
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d))
        if (d.data->depth == 32)
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR) return v.data->visual_id;
    throw std::runtime_error("no 32-bit visual");
}

}  // namespace

using capture::xcbReply;

X11TestScene::X11TestScene(const std::string& display) : connection_(xcb_connect(display.c_str(), nullptr)) {
    if (xcb_connection_has_error(connection_.get())) throw std::runtime_error("cannot connect to " + display);
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_.get())).data;
}

void X11TestScene::sync() const {
    xcbReply<xcb_get_input_focus_reply_t>(connection(), xcb_get_input_focus_reply, xcb_get_input_focus(connection()));
}

xcb_atom_t X11TestScene::atom(const char* name) const {
    const auto reply = xcbReply<xcb_intern_atom_reply_t>(connection(), xcb_intern_atom_reply,
                                                         xcb_intern_atom(connection(), 0, std::strlen(name), name));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

bool X11TestScene::selectionOwned(const char* name) const {
    const auto reply = xcbReply<xcb_get_selection_owner_reply_t>(connection(), xcb_get_selection_owner_reply,
                                                                 xcb_get_selection_owner(connection(), atom(name)));
    return reply && reply->owner != XCB_WINDOW_NONE;
}

std::uint32_t X11TestScene::addWindow(int x, int y, int width, int height, std::uint32_t rgb, std::uint8_t alpha) {
    xcb_connection_t* c = connection();
    const std::uint32_t id = xcb_generate_id(c);
    const auto place = [&](std::uint8_t depth, xcb_visualid_t visual, std::uint32_t mask, const std::uint32_t* values) {
        xcb_create_window(c, depth, id, screen_->root, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                          static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, visual, mask, values);
    };
    if (alpha == 255) {
        const std::uint32_t values[] = {rgb, 1};
        place(XCB_COPY_FROM_PARENT, screen_->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    } else {
        const xcb_visualid_t visual = argbVisual(screen_);
        const std::uint32_t colormap = xcb_generate_id(c);
        xcb_create_colormap(c, XCB_COLORMAP_ALLOC_NONE, colormap, screen_->root, visual);
        auto premultiplied = [&](int shift) { return (((rgb >> shift) & 0xff) * alpha / 255) << shift; };
        const std::uint32_t pixel = static_cast<std::uint32_t>(alpha) << 24 | premultiplied(16) | premultiplied(8) | premultiplied(0);
        const std::uint32_t values[] = {pixel, 0, 1, colormap};
        place(32, visual, XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_COLORMAP, values);
    }
    xcb_map_window(c, id);
    sync();
    return id;
}

std::uint32_t X11TestScene::addShaped(int x, int y, int width, int height, std::uint32_t rgb,
                                      const std::vector<xcb_rectangle_t>& shape) {
    xcb_connection_t* c = connection();
    const std::uint32_t id = xcb_generate_id(c);
    const std::uint32_t values[] = {rgb, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, id, screen_->root, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                      static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen_->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    const std::uint32_t noShadow = 0;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom("_COMPTON_SHADOW"), XCB_ATOM_CARDINAL, 32, 1, &noShadow);
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, id, 0, 0,
                         static_cast<std::uint32_t>(shape.size()), shape.data());
    xcb_map_window(c, id);
    sync();
    return id;
}

namespace {
xcb_rectangle_t rect(int x, int y, int width, int height) {
    return {static_cast<std::int16_t>(x), static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
            static_cast<std::uint16_t>(height)};
}
}  // namespace

std::uint32_t X11TestScene::addOverlay(int x, int y, int width, int height) {
    const int w = width + 6, h = height + 6;
    const std::vector<xcb_rectangle_t> handles = {rect(1, 1, 12, 12), rect(w - 13, 1, 12, 12), rect(1, h - 13, 12, 12),
                                                  rect(w - 13, h - 13, 12, 12)};
    std::vector<xcb_rectangle_t> shape = {rect(0, 0, w, 3), rect(0, h - 3, w, 3), rect(0, 3, 3, h - 6), rect(w - 3, 3, 3, h - 6)};
    shape.insert(shape.end(), handles.begin(), handles.end());
    const std::uint32_t id = addShaped(x - 3, y - 3, w, h, 0xff0000, shape);
    xcb_connection_t* c = connection();
    const xcb_gcontext_t gc = xcb_generate_id(c);
    std::uint32_t colour = 0x000000;
    xcb_create_gc(c, gc, id, XCB_GC_FOREGROUND, &colour);
    xcb_poly_fill_rectangle(c, id, gc, 4, handles.data());
    colour = 0xffffff;
    xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
    for (const xcb_rectangle_t& outer : handles) {
        const xcb_rectangle_t inner = rect(outer.x + 1, outer.y + 1, 10, 10);
        xcb_poly_fill_rectangle(c, id, gc, 1, &inner);
    }
    xcb_free_gc(c, gc);
    sync();
    return id;
}

std::uint32_t X11TestScene::addBar(int x, int y) {
    std::vector<xcb_rectangle_t> shape;
    for (int row = 0; row < 40; ++row) {
        const int fromEdge = std::min(row, 39 - row);
        const int inset = fromEdge >= 8 ? 0 : 8 - static_cast<int>(std::sqrt(64.0 - (8 - fromEdge - 0.5) * (8 - fromEdge - 0.5)));
        shape.push_back(rect(inset, row, 200 - 2 * inset, 1));
    }
    return addShaped(x, y, 200, 40, 0x12121c, shape);
}

void X11TestScene::setColor(std::uint32_t window, std::uint32_t rgb) {
    xcb_change_window_attributes(connection(), window, XCB_CW_BACK_PIXEL, &rgb);
    xcb_clear_area(connection(), 0, window, 0, 0, 0, 0);
    sync();
}

void X11TestScene::move(std::uint32_t window, int x, int y) {
    const std::uint32_t values[] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
    xcb_configure_window(connection(), window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    sync();
}

std::vector<std::uint32_t> X11TestScene::grab(int x, int y, int width, int height) const {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    const auto image = xcbReply<xcb_get_image_reply_t>(
        connection(), xcb_get_image_reply,
        xcb_get_image(connection(), XCB_IMAGE_FORMAT_Z_PIXMAP, screen_->root, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), ~0u));
    if (!image || xcb_get_image_data_length(image.get()) != static_cast<int>(pixels.size() * 4))
        throw std::runtime_error("cannot grab the screen");
    std::memcpy(pixels.data(), xcb_get_image_data(image.get()), pixels.size() * 4);
    for (auto& p : pixels) p &= 0xffffff;
    return pixels;
}

}  // namespace kg::test
