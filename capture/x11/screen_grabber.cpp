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

    [[nodiscard]] std::uint8_t* bytes() const { return static_cast<std::uint8_t*>(address); }
    ~SharedSegment() {
        if (seg) xcb_shm_detach(connection, seg);
        if (address) ::shmdt(address);
    }
};

struct ScreenGrabber::Pending {
    PixelRect part;
    std::size_t offset = 0;
    xcb_shm_get_image_cookie_t cookie{};
};

ScreenGrabber::ScreenGrabber(X11Display& display) : display_(display) {}
ScreenGrabber::~ScreenGrabber() = default;

bool ScreenGrabber::ensureSegment(std::unique_ptr<SharedSegment>& segment, std::size_t bytes) {
    if (segment && segment->size >= bytes) return true;
    segment.reset();
    if (shmFailed_ || !display_.shm.present) return false;
    xcb_connection_t* c = display_.connection();
    // Some head room, so that a slowly growing region does not re-allocate every frame.
    const std::size_t size = bytes + bytes / 4;
    auto fresh = std::make_unique<SharedSegment>();
    fresh->connection = c;
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
    fresh->address = address;
    fresh->size = size;
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
    fresh->seg = seg;
    segment = std::move(fresh);
    return true;
}

BgrxView ScreenGrabber::picture() {
    std::uint8_t* data = pictureSegment_ ? pictureSegment_->bytes() : plainPicture_.data();
    return {data, static_cast<int>(region_.width), static_cast<int>(region_.height), region_.width * 4};
}

void ScreenGrabber::copyRows(const std::uint8_t* pixels, const PixelRect& part) {
    const BgrxView target = picture();
    const std::size_t rowBytes = static_cast<std::size_t>(part.width) * 4;
    for (std::int64_t row = 0; row < part.height; ++row)
        std::memcpy(target.pixel(static_cast<int>(part.x - region_.x), static_cast<int>(part.y - region_.y + row)),
                    pixels + row * static_cast<std::int64_t>(rowBytes), rowBytes);
}

std::optional<BgrxView> ScreenGrabber::grab(const PixelRect& rect) {
    xcb_connection_t* c = display_.connection();
    const PixelRect visible = rect.intersected({0, 0, display_.width(), display_.height()});
    const std::size_t bytes = static_cast<std::size_t>(visible.width) * static_cast<std::size_t>(visible.height) * 4;
    if (visible.empty()) return std::nullopt;
    const auto x = static_cast<std::int16_t>(visible.x), y = static_cast<std::int16_t>(visible.y);
    const auto w = static_cast<std::uint16_t>(visible.width), h = static_cast<std::uint16_t>(visible.height);
    std::uint8_t* pixels = nullptr;
    if (ensureSegment(scratch_, bytes) &&
        xcbReply<xcb_shm_get_image_reply_t>(
            c, xcb_shm_get_image_reply,
            xcb_shm_get_image(c, display_.root(), x, y, w, h, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, scratch_->seg, 0))) {
        pixels = scratch_->bytes();
    } else {
        plainReply_ = xcbReply<xcb_get_image_reply_t>(
            c, xcb_get_image_reply, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, display_.root(), x, y, w, h, ~0u));
        if (!plainReply_ || static_cast<std::size_t>(xcb_get_image_data_length(plainReply_.get())) < bytes)
            return std::nullopt;
        pixels = xcb_get_image_data(plainReply_.get());
    }
    if (visible == rect) return BgrxView{pixels, w, h, static_cast<std::ptrdiff_t>(w) * 4};
    // Partly off the screen: the missing parts are black.
    const std::size_t stride = static_cast<std::size_t>(rect.width) * 4;
    composed_.assign(stride * static_cast<std::size_t>(rect.height), 0);
    BgrxView out{composed_.data(), static_cast<int>(rect.width), static_cast<int>(rect.height),
                 static_cast<std::ptrdiff_t>(stride)};
    for (int row = 0; row < h; ++row)
        std::memcpy(out.pixel(static_cast<int>(visible.x - rect.x), static_cast<int>(visible.y - rect.y) + row),
                    pixels + row * w * 4, static_cast<std::size_t>(w) * 4);
    return out;
}

std::optional<BgrxView> ScreenGrabber::grabRegion(const PixelRect& region) {
    region_ = region;
    const std::size_t bytes = static_cast<std::size_t>(region.width) * static_cast<std::size_t>(region.height) * 4;
    const PixelRect visible = region.intersected({0, 0, display_.width(), display_.height()});
    if (ensureSegment(pictureSegment_, bytes)) {
        plainPicture_ = {};
        xcb_connection_t* c = display_.connection();
        if (visible == region)
            return xcbReply<xcb_shm_get_image_reply_t>(
                       c, xcb_shm_get_image_reply,
                       xcb_shm_get_image(c, display_.root(), static_cast<std::int16_t>(region.x),
                                         static_cast<std::int16_t>(region.y), static_cast<std::uint16_t>(region.width),
                                         static_cast<std::uint16_t>(region.height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                         pictureSegment_->seg, 0))
                       ? std::optional(picture())
                       : std::nullopt;
    } else {
        plainPicture_.resize(bytes);
    }
    std::memset(picture().data, 0, bytes);
    if (!visible.empty() && !grabParts({visible})) return std::nullopt;
    return picture();
}

bool ScreenGrabber::grabParts(const std::vector<PixelRect>& parts) {
    const PixelRect area = region_.intersected({0, 0, display_.width(), display_.height()});
    std::vector<PixelRect> clipped;
    for (const PixelRect& part : parts) {
        const PixelRect r = part.intersected(area);
        if (!r.empty()) clipped.push_back(r);
    }
    if (clipped.empty()) return true;
    return pictureSegment_ ? grabPartsShared(clipped) : grabPartsPlain(clipped);
}

// All requests are sent before the first answer is read: one round trip for all the parts,
// or one per band when they do not fit the scratch segment together.
bool ScreenGrabber::grabPartsShared(const std::vector<PixelRect>& parts) {
    xcb_connection_t* c = display_.connection();
    std::size_t needed = 0;
    for (const PixelRect& part : parts) needed += static_cast<std::size_t>(part.width * part.height) * 4;
    const std::size_t pictureBytes = static_cast<std::size_t>(region_.width * region_.height) * 4;
    const std::size_t rowBytes = static_cast<std::size_t>(region_.width) * 4;
    if (!ensureSegment(scratch_, std::max(rowBytes, std::min(needed, pictureBytes / 4)))) return grabPartsPlain(parts);
    std::vector<Pending> pending;
    std::size_t used = 0;
    bool ok = true;
    auto collect = [&] {
        for (const Pending& p : pending) {
            if (xcbReply<xcb_shm_get_image_reply_t>(c, xcb_shm_get_image_reply, p.cookie))
                copyRows(scratch_->bytes() + p.offset, p.part);
            else
                ok = false;
        }
        pending.clear();
        used = 0;
    };
    for (const PixelRect& part : parts) {
        const std::size_t partRow = static_cast<std::size_t>(part.width) * 4;
        for (std::int64_t y = part.y; y < part.bottom();) {
            if (scratch_->size - used < partRow) collect();
            const auto rows = std::min<std::int64_t>(part.bottom() - y, static_cast<std::int64_t>((scratch_->size - used) / partRow));
            const PixelRect band{part.x, y, part.width, rows};
            pending.push_back({band, used,
                               xcb_shm_get_image(c, display_.root(), static_cast<std::int16_t>(band.x),
                                                 static_cast<std::int16_t>(band.y), static_cast<std::uint16_t>(band.width),
                                                 static_cast<std::uint16_t>(band.height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                                 scratch_->seg, static_cast<std::uint32_t>(used))});
            used += static_cast<std::size_t>(rows) * partRow;
            y += rows;
        }
    }
    collect();
    return ok;
}

bool ScreenGrabber::grabPartsPlain(const std::vector<PixelRect>& parts) {
    xcb_connection_t* c = display_.connection();
    for (const PixelRect& part : parts) {
        auto reply = xcbReply<xcb_get_image_reply_t>(
            c, xcb_get_image_reply,
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, display_.root(), static_cast<std::int16_t>(part.x),
                          static_cast<std::int16_t>(part.y), static_cast<std::uint16_t>(part.width),
                          static_cast<std::uint16_t>(part.height), ~0u));
        if (!reply || static_cast<std::size_t>(xcb_get_image_data_length(reply.get())) <
                          static_cast<std::size_t>(part.width * part.height) * 4)
            return false;
        copyRows(xcb_get_image_data(reply.get()), part);
    }
    return true;
}

}  // namespace kg::capture
