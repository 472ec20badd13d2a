#pragma once
// Grabs the X screen's pixels through MIT-SHM when the server offers it (one copy, done by the
// server, proportional to the rectangle), else through plain GetImage.
//
// It keeps the picture of the recorded region between frames: grabRegion() takes all of it,
// grabParts() only the rectangles that changed, each into its place. Off-screen parts are black.
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

    // A one-off grab of `rect` (root coordinates; a look at the whole screen), black off the
    // screen; valid until the next grab() or grabParts(). Leaves the region's picture alone.
    std::optional<BgrxView> grab(const PixelRect& rect);

    // The whole picture of `region` (root coordinates), kept from now on. Writable, valid until
    // the next grabRegion(). nullopt when the server refused (the picture is then unknown).
    std::optional<BgrxView> grabRegion(const PixelRect& region);

    // Grabs `parts` (root coordinates) of the region last given to grabRegion() into their
    // places of its picture. False when the server refused (the picture is then unknown).
    bool grabParts(const std::vector<PixelRect>& parts);

private:
    struct SharedSegment;
    struct Pending;
    [[nodiscard]] BgrxView picture();
    bool ensureSegment(std::unique_ptr<SharedSegment>& segment, std::size_t bytes);
    bool grabPartsShared(const std::vector<PixelRect>& parts);
    bool grabPartsPlain(const std::vector<PixelRect>& parts);
    void copyRows(const std::uint8_t* pixels, const PixelRect& part);

    X11Display& display_;
    bool shmFailed_ = false;
    std::unique_ptr<SharedSegment> pictureSegment_;  // the region's picture, when shared
    std::unique_ptr<SharedSegment> scratch_;         // parts and one-off grabs land here first
    std::vector<std::uint8_t> plainPicture_;         // the region's picture, without MIT-SHM
    PixelRect region_;
    XcbReply<xcb_get_image_reply_t> plainReply_;
    std::vector<std::uint8_t> composed_;
};

}  // namespace kg::capture
