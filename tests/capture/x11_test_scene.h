#pragma once
// Windows of known solid colours at known places on a test X server: override-redirect (no
// window manager moves them), created, recoloured, moved and destroyed synchronously (each
// call returns once the server has done it).

#include <xcb/xcb.h>

#include <cstdint>
#include <string>

namespace kg::test {

class X11TestScene {
public:
    explicit X11TestScene(const std::string& display);
    ~X11TestScene();
    X11TestScene(const X11TestScene&) = delete;
    X11TestScene& operator=(const X11TestScene&) = delete;

    // A mapped window on top of the others, filled with 0xRRGGBB. Returns its id.
    std::uint32_t addWindow(int x, int y, int width, int height, std::uint32_t rgb);
    void setColor(std::uint32_t window, std::uint32_t rgb);
    void move(std::uint32_t window, int x, int y);
    void remove(std::uint32_t window);
    void sync();

private:
    xcb_connection_t* connection_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
};

}  // namespace kg::test
