#include "capture/x11/screen_snapshot.h"

#include <cstring>

#include "capture/x11/x11_display.h"

namespace kg::capture {

std::shared_ptr<const ScreenSnapshot> takeScreenSnapshot(const X11Display& display) {
    if (display.missingForCapture()) return nullptr;
    xcb_connection_t* c = display.connection();
    const auto width = static_cast<std::uint16_t>(display.width());
    const auto height = static_cast<std::uint16_t>(display.height());
    auto image = xcbReply<xcb_get_image_reply_t>(
        c, xcb_get_image_reply, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, display.root(), 0, 0, width, height, ~0u));
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
    if (!image || static_cast<std::size_t>(xcb_get_image_data_length(image.get())) < bytes) return nullptr;
    auto snapshot = std::make_shared<ScreenSnapshot>();
    snapshot->width = width;
    snapshot->height = height;
    snapshot->pixels.resize(bytes);
    std::memcpy(snapshot->pixels.data(), xcb_get_image_data(image.get()), bytes);
    return snapshot;
}

}  // namespace kg::capture
