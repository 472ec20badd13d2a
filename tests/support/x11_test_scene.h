#pragma once
// A test's own client of an X server: windows of known colours at known places, override-
// redirect (no window manager moves them), created, recoloured and moved synchronously (each
// call returns once the server has done it), and what the screen shows.

#include <xcb/xcb.h>

#include <cstdint>
#include <string>
#include <vector>

#include "capture/x11/xcb_handles.h"

namespace kg::test {

class X11TestScene {
public:
    explicit X11TestScene(const std::string& display);
    X11TestScene(const X11TestScene&) = delete;
    X11TestScene& operator=(const X11TestScene&) = delete;

    // A mapped window on top of the others, filled with 0xRRGGBB; with `alpha` below 255 a
    // translucent 32-bit window (as compositing managers blend it). Returns its id.
    std::uint32_t addWindow(int x, int y, int width, int height, std::uint32_t rgb, std::uint8_t alpha = 255);
    // A window drawn like the recording overlay around the rectangle: shaped to a 3-pixel red
    // band just outside it and four white 12 x 12 handles with a black edge over its corners,
    // with the shadow hint our windows carry.
    std::uint32_t addOverlay(int x, int y, int width, int height);
    // A window drawn like the control bar: a dark 200 x 40 rectangle with corners rounded by 8,
    // shaped to it, with the shadow hint.
    std::uint32_t addBar(int x, int y);
    void setColor(std::uint32_t window, std::uint32_t rgb);
    void move(std::uint32_t window, int x, int y);
    // The screen's pixels of the rectangle as 0xRRGGBB, row by row.
    [[nodiscard]] std::vector<std::uint32_t> grab(int x, int y, int width, int height) const;
    [[nodiscard]] std::uint32_t pixel(int x, int y) const { return grab(x, y, 1, 1)[0]; }
    // Whether a client owns the selection (WM_S0: a window manager; _NET_WM_CM_S0: a
    // compositing manager).
    [[nodiscard]] bool selectionOwned(const char* name) const;
    [[nodiscard]] xcb_atom_t atom(const char* name) const;
    void sync() const;

    [[nodiscard]] xcb_connection_t* connection() const { return connection_.get(); }
    [[nodiscard]] xcb_screen_t* screen() const { return screen_; }

private:
    // A window shaped to `shape` (window pixels) with the shadow hint, mapped, filled with rgb.
    std::uint32_t addShaped(int x, int y, int width, int height, std::uint32_t rgb, const std::vector<xcb_rectangle_t>& shape);

    capture::XcbConnectionPtr connection_;
    xcb_screen_t* screen_ = nullptr;
};

}  // namespace kg::test
