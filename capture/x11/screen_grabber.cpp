#include "capture/x11/screen_grabber.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

#include <algorithm>
#include <cstring>

namespace kg::capture {

struct ScreenGrabber::SharedSegment {
    xcb_connection_t* connection = nullptr;
    xcb_shm_seg_t seg = 0;
    void* address = nullptr;
    std::size_t size = 0;

    ~SharedSegment() {
        if (seg) xcb_shm_detach(connection, seg);
        if (address) ::shmdt(address);
    }
};

ScreenGrabber::ScreenGrabber(X11Display& display) : display_(display) {}
ScreenGrabber::~ScreenGrabber() = default;

bool ScreenGrabber::ensureSegment(std::size_t bytes) {
    if (shm_ && shm_->size >= bytes) return true;
    shm_.reset();
    if (shmFailed_ || !display_.shm.present) return false;
    xcb_connection_t* c = display_.connection();
    // Some head room, so that a slowly growing region does not re-allocate every frame.
    const std::size_t size = bytes + bytes / 4;
    auto segment = std::make_unique<SharedSegment>();
    segment->connection = c;
    const int id = ::shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0) {
        shmFailed_ = true;
        return false;
    }
    void* address = ::shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        ::shmctl(id, IPC_RMID, nullptr);
        shmFailed_ = true;
        return false;
    }
    segment->address = address;
    segment->size = size;
    const xcb_shm_seg_t seg = xcb_generate_id(c);
    xcb_generic_error_t* error = xcb_request_check(c, xcb_shm_attach_checked(c, seg, static_cast<std::uint32_t>(id), 0));
    // Marked for removal at once: the segment goes away with the last user, even after a crash.
    ::shmctl(id, IPC_RMID, nullptr);
    if (error) {
        // A remote server cannot reach our memory; GetImage does the same work more slowly.
        std::free(error);
        shmFailed_ = true;
        return false;
    }
    segment->seg = seg;
    shm_ = std::move(segment);
    return true;
}

std::optional<BgrxView> ScreenGrabber::grabOnScreen(const PixelRect& r) {
    xcb_connection_t* c = display_.connection();
    const auto x = static_cast<std::int16_t>(r.x), y = static_cast<std::int16_t>(r.y);
    const auto w = static_cast<std::uint16_t>(r.width), h = static_cast<std::uint16_t>(r.height);
    const std::size_t bytes = static_cast<std::size_t>(r.width) * static_cast<std::size_t>(r.height) * 4;
    if (ensureSegment(bytes)) {
        auto reply = xcbReply<xcb_shm_get_image_reply_t>(
            c, xcb_shm_get_image_reply,
            xcb_shm_get_image(c, display_.root(), x, y, w, h, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, shm_->seg, 0));
        if (reply) return BgrxView{static_cast<std::uint8_t*>(shm_->address), w, h, static_cast<std::ptrdiff_t>(w) * 4};
    }
    plainReply_ = xcbReply<xcb_get_image_reply_t>(
        c, xcb_get_image_reply, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, display_.root(), x, y, w, h, ~0u));
    if (!plainReply_ || static_cast<std::size_t>(xcb_get_image_data_length(plainReply_.get())) < bytes)
        return std::nullopt;
    return BgrxView{xcb_get_image_data(plainReply_.get()), w, h, static_cast<std::ptrdiff_t>(w) * 4};
}

std::optional<BgrxView> ScreenGrabber::grab(const PixelRect& rect) {
    const PixelRect screen{0, 0, display_.width(), display_.height()};
    const PixelRect visible = rect.intersected(screen);
    if (visible == rect) return grabOnScreen(rect);

    // Partly or wholly off the screen: the missing parts are black.
    const std::size_t stride = static_cast<std::size_t>(rect.width) * 4;
    composed_.assign(stride * static_cast<std::size_t>(rect.height), 0);
    BgrxView out{composed_.data(), static_cast<int>(rect.width), static_cast<int>(rect.height),
                 static_cast<std::ptrdiff_t>(stride)};
    if (visible.empty()) return out;
    auto part = grabOnScreen(visible);
    if (!part) return std::nullopt;
    for (int row = 0; row < part->height; ++row) {
        std::memcpy(out.pixel(static_cast<int>(visible.x - rect.x), static_cast<int>(visible.y - rect.y) + row),
                    part->data + row * part->stride, static_cast<std::size_t>(part->width) * 4);
    }
    return out;
}

}  // namespace kg::capture
