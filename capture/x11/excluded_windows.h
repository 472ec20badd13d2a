#pragma once
// Our own top-level windows (the border overlay, the control bar) as the X server shows them:
// where they are, whether they are mapped, and their bounding shapes, which our windows keep
// equal to the pixels they draw. Followed through events (ConfigureNotify, Map/UnmapNotify,
// DestroyNotify, ShapeNotify) selected on those windows, so a frame costs no round trip; a
// shape is fetched again only when ShapeNotify says it changed.
//
// What a window covered stays counted for kHoldNs after it moved, changed shape or went away:
// a compositing manager paints from its own copy and may show the old place for a frame or
// more after the server reports the new one, and so may the server itself, which copies
// redirected windows onto the screen only before it next waits for requests. A fixed time
// rather than the redraws reported there: a redraw may still show the old place.
//
// Threads: the thread that owns the X11Display.

#include <xcb/xcb.h>

#include <cstdint>
#include <vector>

#include "capture/capture_geometry.h"
#include "capture/x11/x11_display.h"

namespace kg::capture {

class ExcludedWindows {
public:
    static constexpr std::int64_t kHoldNs = 250'000'000;

    // `windowIds` may name top-level windows or windows inside them (a window manager's frame
    // around a client is excluded with the client); ids that name no window are ignored, and
    // so are repeats.
    ExcludedWindows(X11Display& display, const std::vector<std::uint32_t>& windowIds);

    // The top-level windows followed, in no particular order.
    [[nodiscard]] const std::vector<std::uint32_t>& ids() const { return ids_; }

    // Consumes the event when it is about one of the windows; returns whether it was.
    bool handleEvent(const xcb_generic_event_t& event, std::int64_t nowNs);

    // The pixels covered now or within kHoldNs before `nowNs`, root coordinates, as possibly
    // overlapping rectangles.
    [[nodiscard]] const std::vector<PixelRect>& covered(std::int64_t nowNs);
    // Whether nothing is held any more at the time of the last covered() call: the windows
    // have kept their places and shapes for kHoldNs, and the screen shows them where they are.
    [[nodiscard]] bool settled() const { return held_.empty(); }
    // The boxes (border included, root coordinates) of the windows mapped now.
    [[nodiscard]] std::vector<PixelRect> boxes() const;
    // Counts the changes of covered(): equal numbers, equal sets.
    [[nodiscard]] std::uint64_t generation() const { return generation_; }

private:
    struct Tracked {
        std::uint32_t id = 0;
        PixelRect outer;                // border included, root coordinates
        std::int64_t border = 0;
        bool mapped = false;
        std::vector<PixelRect> shape;   // relative to the window's origin (inside the border)
    };
    struct Held {
        PixelRect rect;
        std::int64_t untilNs = 0;
    };
    void fetchShape(Tracked& window);
    void hold(const Tracked& window, std::int64_t nowNs);
    Tracked* find(std::uint32_t id);

    X11Display& display_;
    std::vector<std::uint32_t> ids_;
    std::vector<Tracked> windows_;
    std::vector<Held> held_;
    std::vector<PixelRect> covered_;
    bool dirty_ = true;
    std::uint64_t generation_ = 0;
};

}  // namespace kg::capture
