#pragma once
// Rebuilds what a small part of the screen would show without our windows, from the other
// top-level windows' own contents (the Composite extension keeps each window's pixels even
// where another window covers it) painted bottom to top over the root's background colour.
// It serves only pixels that were never seen uncovered (those under our windows when the
// recording began, or where the screen changed while our windows were elsewhere), so it costs
// a window listing and a GetImage per window below, only on such frames.
//
// Exact on a server without a compositing manager, where the server itself draws the screen
// this way. With one, the windows are blended as it blends them (translucent windows "over"
// what lies below) but what else it draws (shadows, dimming, fading) is missing there.
//
// Threads: the thread that owns the X11Display.

#include <cstdint>
#include <vector>

#include "capture/bgrx_image.h"
#include "capture/capture_geometry.h"
#include "capture/x11/x11_display.h"

namespace kg::capture {

class WindowsBelow {
public:
    // `excluded` are the top-level windows left out. Without a compositing manager every
    // top-level window is redirected (automatic mode: the screen looks as before), so that
    // their covered parts stay readable.
    WindowsBelow(X11Display& display, std::vector<std::uint32_t> excluded);
    ~WindowsBelow();
    WindowsBelow(const WindowsBelow&) = delete;
    WindowsBelow& operator=(const WindowsBelow&) = delete;

    // Learns the root's background colour from `screen`, a grab of the whole screen: the most
    // frequent colour where no top-level window lies.
    void learnBackground(const BgrxView& screen);

    // The screen's pixels of `rect` (root coordinates, on screen) without our windows. The
    // view is valid until the next call.
    BgrxView rebuild(const PixelRect& rect);

private:
    struct WindowBox {
        std::uint32_t id = 0;
        PixelRect outer;  // border included, root coordinates
        std::int64_t border = 0;
        std::uint8_t depth = 0;
    };
    [[nodiscard]] std::vector<WindowBox> windowsBelow() const;
    void paint(const WindowBox& window, const PixelRect& area, const PixelRect& rect, const BgrxView& out) const;

    X11Display& display_;
    std::vector<std::uint32_t> excluded_;
    bool compositingManager_ = false;
    bool redirected_ = false;
    std::uint32_t background_ = 0;  // BGRX
    std::vector<std::uint8_t> scratch_;
};

}  // namespace kg::capture
