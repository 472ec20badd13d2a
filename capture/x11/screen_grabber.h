#pragma once
// Grabs a rectangle of the X screen's pixels: through MIT-SHM when the server offers it (one
// copy, done by the server, proportional to the rectangle), else through plain GetImage.
//
// Threads: the thread that owns the X11Display.

#include <memory>
#include <optional>
#include <vector>

#include "capture/bgrx_image.h"
#include "capture/capture_geometry.h"
#include "capture/x11/x11_display.h"
#include "capture/x11/xcb_handles.h"

#include <xcb/xproto.h>

namespace kg::capture {

class ScreenGrabber {
public:
    explicit ScreenGrabber(X11Display& display);
    ~ScreenGrabber();
    ScreenGrabber(const ScreenGrabber&) = delete;
    ScreenGrabber& operator=(const ScreenGrabber&) = delete;

    // The pixels of `rect` (root coordinates), black where it lies outside the screen. The
    // view is writable and valid until the next grab. nullopt when the server refused.
    std::optional<BgrxView> grab(const PixelRect& rect);

    [[nodiscard]] bool usesSharedMemory() const { return shm_ != nullptr; }

private:
    struct SharedSegment;
    std::optional<BgrxView> grabOnScreen(const PixelRect& rect);
    bool ensureSegment(std::size_t bytes);

    X11Display& display_;
    std::unique_ptr<SharedSegment> shm_;
    bool shmFailed_ = false;
    XcbReply<xcb_get_image_reply_t> plainReply_;
    std::vector<std::uint8_t> composed_;
};

}  // namespace kg::capture
