#pragma once
// Tells which parts of the screen changed, from DAMAGE events on the root window (which cover
// every window below it). Without the extension it knows nothing and says so; the caller then
// compares pixels instead.
//
// Threads: the thread that owns the X11Display.

#include <xcb/xcb.h>

#include <optional>
#include <vector>

#include "capture/capture_geometry.h"
#include "capture/x11/x11_display.h"

namespace kg::capture {

class DamageWatch {
public:
    explicit DamageWatch(X11Display& display);
    ~DamageWatch();
    DamageWatch(const DamageWatch&) = delete;
    DamageWatch& operator=(const DamageWatch&) = delete;

    [[nodiscard]] bool available() const { return damage_ != 0; }

    // Consumes the event when it is a damage notification; returns the changed rectangle
    // (root coordinates) when it was.
    std::optional<PixelRect> handleEvent(const xcb_generic_event_t& event);

    // Whether anything reported since the last reset() touches `watched` (root coordinates).
    [[nodiscard]] bool touched(const PixelRect& watched) const;
    // What was reported since the last reset() (root coordinates; past a few dozen
    // rectangles, their bounding box).
    [[nodiscard]] const std::vector<PixelRect>& changed() const { return changed_; }

    // Forgets what was reported and asks the server to report every further change: call
    // before grabbing the pixels that account for the changes reported so far.
    void reset();

private:
    X11Display& display_;
    std::uint32_t damage_ = 0;
    std::vector<PixelRect> changed_;
    bool reported_ = false;
};

}  // namespace kg::capture
