#pragma once
// What lies below our windows, from the other top-level windows' own contents: the Composite
// extension keeps each window's pixels even where another window covers it. Windows are
// painted bottom to top as the screen shows them: copied as the server does without a
// compositing manager, translucent ones laid "over" what is below when one runs. Where no
// window lies, nothing is painted; the caller supplies the root's look there.
//
// The windows, their stacking order and places are followed through SubstructureNotify events
// on the root window; a rebuild costs one round trip for the images of the windows under the
// asked areas, all requests sent before the first answer is read.
//
// A compositing manager shows a window's new place or state only when it next repaints, a
// frame or more after the server reports the change. Until the screen reports a change over
// both the old and the new place (or kShowNs have passed), a window counts where the screen
// still shows it, so the rebuilt pixels agree with the grabbed ones around them.
//
// Threads: the thread that owns the X11Display.

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
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
    [[nodiscard]] std::uint32_t background() const { return background_; }  // BGRX

    struct Area {
        PixelRect rect;                // root coordinates, on screen
        std::vector<std::uint32_t> pixels;  // BGRX, row by row; the background colour where unpainted
        std::vector<std::uint8_t> painted;  // 1 where a window lies
    };
    // The windows below ours in each of `rects`.
    std::vector<Area> rebuild(const std::vector<PixelRect>& rects);

    static constexpr std::int64_t kShowNs = 250'000'000;

    // The screen showed a change in `rect` (root coordinates).
    void screenChanged(const PixelRect& rect);

    // Consumes the event when it tells of a top-level window's change; returns whether it did.
    // Adds to `vacated` the box a window left (moved, unmapped or destroyed): what was seen
    // there may be gone, even under our windows, where nobody saw it go.
    bool handleEvent(const xcb_generic_event_t& event, std::vector<PixelRect>& vacated);

private:
    struct WindowBox {
        std::uint32_t id = 0;
        PixelRect outer;  // border included, root coordinates
        std::int64_t border = 0;
        bool mapped = false;
        bool readable = true;  // not input-only
        // As the screen shows it, while a compositing manager has yet to repaint a change.
        struct Shown {
            PixelRect outer;
            std::int64_t border = 0;
            bool mapped = false;
            PixelRect repaintWanted;  // old and new places on the screen
            PixelRect repainted;      // box of the changes reported over it since
            std::int64_t untilNs = 0;
        };
        std::optional<Shown> shown;
    };
    // After `window` changed from `before`: keeps what the screen may still show.
    void noteChange(WindowBox& window, const WindowBox& before) const;
    void listWindows();
    std::vector<WindowBox>::iterator find(std::uint32_t id);
    [[nodiscard]] bool isExcluded(std::uint32_t id) const;
    // The mapped windows that are not ours, bottom to top.
    [[nodiscard]] std::vector<WindowBox> windowsBelow() const;
    void paint(const xcb_get_image_reply_t& image, const PixelRect& part, Area& area) const;

    X11Display& display_;
    std::vector<std::uint32_t> excluded_;
    bool compositingManager_ = false;
    bool redirected_ = false;
    std::uint32_t background_ = 0;  // BGRX
    std::vector<WindowBox> stack_;  // children of the root window, bottom to top
};

}  // namespace kg::capture
