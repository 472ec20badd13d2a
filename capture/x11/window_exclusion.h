#pragma once
// Keeps chosen top-level windows out of the frames: where one of them lies over the grabbed
// rectangle, the pixels are rebuilt from what is below it.
//
// How: every top-level window is redirected with the Composite extension (automatic mode, so
// the screen looks as before), which gives each window its own contents even where another
// window covers it. The covered area is then repainted bottom to top from the other
// top-level windows, over the black of the root window. Shapes of the windows painted are not
// taken into account (their bounding boxes are painted); the excluded windows' whole bounding
// boxes are rebuilt.
//
// Threads: the thread that owns the X11Display.

#include <cstdint>
#include <vector>

#include "capture/bgrx_image.h"
#include "capture/capture_geometry.h"
#include "capture/x11/x11_display.h"

namespace kg::capture {

class WindowExclusion {
public:
    // `windowIds` may name top-level windows or windows inside them (a window manager's
    // frame around a client is excluded with the client); ids that name no window are
    // ignored, and so are repeats.
    WindowExclusion(X11Display& display, const std::vector<std::uint32_t>& windowIds);
    ~WindowExclusion();
    WindowExclusion(const WindowExclusion&) = delete;
    WindowExclusion& operator=(const WindowExclusion&) = delete;

    // The top-level windows left out, in no particular order.
    [[nodiscard]] const std::vector<std::uint32_t>& excluded() const { return excluded_; }

    // Rebuilds the parts of `frame` covered by an excluded window. `frame` shows the screen
    // rectangle `frameRect` (root coordinates). Returns false when no excluded window overlaps
    // it (nothing was touched).
    bool rebuild(const BgrxView& frame, const PixelRect& frameRect);

private:
    struct WindowBox {
        std::uint32_t id = 0;
        PixelRect outer;        // border included, root coordinates
        std::int64_t border = 0;
        bool excluded = false;
    };
    [[nodiscard]] std::vector<WindowBox> viewableWindows() const;
    void paintWindow(const BgrxView& frame, const PixelRect& frameRect, const WindowBox& window,
                     const PixelRect& area) const;

    X11Display& display_;
    std::vector<std::uint32_t> excluded_;
    bool redirected_ = false;
};

}  // namespace kg::capture
