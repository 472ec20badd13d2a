#include "tests/capture/x11_test_scene.h"

#include <cstdlib>
#include <stdexcept>

namespace kg::test {

X11TestScene::X11TestScene(const std::string& display) {
    connection_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(connection_)) throw std::runtime_error("cannot connect to " + display);
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
}

X11TestScene::~X11TestScene() { xcb_disconnect(connection_); }

void X11TestScene::sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

std::uint32_t X11TestScene::addWindow(int x, int y, int width, int height, std::uint32_t rgb) {
    const std::uint32_t id = xcb_generate_id(connection_);
    const std::uint32_t values[] = {rgb, 1};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, id, screen_->root, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
                      0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(connection_, id);
    sync();
    return id;
}

void X11TestScene::setColor(std::uint32_t window, std::uint32_t rgb) {
    xcb_change_window_attributes(connection_, window, XCB_CW_BACK_PIXEL, &rgb);
    xcb_clear_area(connection_, 0, window, 0, 0, 0, 0);
    sync();
}

void X11TestScene::move(std::uint32_t window, int x, int y) {
    const std::uint32_t values[] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
    xcb_configure_window(connection_, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    sync();
}

void X11TestScene::remove(std::uint32_t window) {
    xcb_destroy_window(connection_, window);
    sync();
}

}  // namespace kg::test
