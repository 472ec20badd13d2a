#include "capture/x11/x11_video_source.h"

#include <cstring>

#include "capture/capture_error.h"
#include "capture/x11/screen_content.h"

namespace kg::capture {

namespace {

std::uint64_t hashPixels(const BgrxView& view) {
    std::uint64_t hash = 0x9e3779b97f4a7c15ull;
    const std::size_t rowBytes = static_cast<std::size_t>(view.width) * 4;
    for (int y = 0; y < view.height; ++y) {
        const std::uint8_t* row = view.data + y * view.stride;
        std::size_t i = 0;
        for (; i + 8 <= rowBytes; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, row + i, 8);
            hash = (hash ^ word) * 0x100000001b3ull;
            hash ^= hash >> 29;
        }
        for (; i < rowBytes; ++i) hash = (hash ^ row[i]) * 0x100000001b3ull;
    }
    return hash;
}

}  // namespace

X11VideoSource::X11VideoSource(const std::vector<std::uint32_t>& excludedWindowIds,
                               std::shared_ptr<const ScreenSnapshot> screenBefore)
    : display_(std::make_unique<X11Display>()) {
    if (auto missing = display_->missingForCapture()) throw CaptureError("cannot record the screen: " + *missing);
    const std::vector<DisplayInfo> displays = listDisplays(*display_);
    if (displays.empty()) throw CaptureError("No display found");
    displayFrame_ = displays.front().frame;
    grabber_ = std::make_unique<ScreenGrabber>(*display_);
    damage_ = std::make_unique<DamageWatch>(*display_);
    cursor_ = std::make_unique<CursorTracker>(*display_);
    exclusion_ = std::make_unique<WindowExclusion>(*display_, excludedWindowIds);
    if (screenBefore && screenBefore->width == display_->width() && screenBefore->height == display_->height() &&
        exclusion_->wantsScreen())
        exclusion_->learnScreen(screenBefore->view(), WindowExclusion::OurWindows::notYetShown);
    xcb_flush(display_->connection());
}

Size X11VideoSource::displaySize() const {
    return {static_cast<double>(displayFrame_.width), static_cast<double>(displayFrame_.height)};
}

void X11VideoSource::moveTo(const Rect& region) {
    source_ = sourcePixels(region, geometry_, displayFrame_.x, displayFrame_.y);
}

void X11VideoSource::drainEvents() {
    xcb_connection_t* c = display_->connection();
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
        if (auto damaged = damage_->handleEvent(*event))
            exclusion_->screenChanged(*damaged);
        else if (!exclusion_->handleEvent(*event))
            cursor_->handleEvent(*event);
        std::free(event);
    }
}

SourcePoll X11VideoSource::poll(PollMode mode) {
    if (lost_) return {};
    if (xcb_connection_has_error(display_->connection())) {
        lost_ = true;
        return {SourcePoll::Status::failed, {}, "the connection to the X server was lost", true, {}};
    }
    drainEvents();
    for (const PixelRect& r : exclusion_->besideToGrab(source_)) {
        const auto beside = grabber_->grab(r);
        if (!beside) break;
        drainEvents();  // what moved our windows before the grab
        exclusion_->learnBeside(*beside, r);
    }
    std::vector<PixelRect> parts;  // root coordinates, to grab anew
    const bool cursorChanged = cursor_->refresh(source_);
    const bool coverChanged = exclusion_->coverChanged(source_, parts);
    const bool mustSend = mode == PollMode::always || cursorChanged || coverChanged;
    if (!mustSend && damage_->available() && !damage_->touched(source_)) return {};

    for (const PixelRect& r : damage_->changed())
        if (r.intersects(source_)) parts.push_back(r.intersected(source_));
    damage_->reset();
    if (exclusion_->wantsScreen()) {
        if (auto screen = grabber_->grab({0, 0, display_->width(), display_->height()})) exclusion_->learnScreen(*screen);
    }
    std::int64_t partsArea = 0;
    for (const PixelRect& r : parts) partsArea += r.width * r.height;
    // Parts that make up much of the region cost more as many requests than as one.
    const bool whole = mode == PollMode::always || !picture_ || !(pictureRect_ == source_) || !damage_->available() ||
                       partsArea * 2 > source_.width * source_.height;
    std::vector<PixelRect> dirty;  // picture pixels
    exclusion_->grabStarting();
    if (whole) {
        cursor_->forgetDrawn();
        picture_ = grabber_->grabRegion(source_);
        pictureRect_ = source_;
        if (!picture_) return {};
        parts.assign(1, source_);
    } else {
        dirty.push_back(cursor_->undraw(*picture_));
        if (!grabber_->grabParts(parts)) {
            picture_.reset();
            return {};
        }
    }
    const BgrxView view = *picture_;
    if (!damage_->available()) {
        const std::uint64_t hash = hashPixels(view);
        const bool same = lastHash_ && *lastHash_ == hash;
        lastHash_ = hash;
        if (same && !mustSend) return {};
    }
    // Events are delivered before the reply that follows them: whatever moved our windows
    // before the grab is known now, so what they cover matches the grabbed pixels.
    drainEvents();
    std::vector<PixelRect> written = parts;  // root coordinates
    exclusion_->apply(view, source_, parts, written);
    dirty.push_back(cursor_->draw(view, source_.x, source_.y));
    SourcePoll result{SourcePoll::Status::picture, view, {}, whole, {}};
    if (!whole) {
        for (const PixelRect& r : written) dirty.push_back({r.x - source_.x, r.y - source_.y, r.width, r.height});
        std::erase_if(dirty, [](const PixelRect& r) { return r.empty(); });
        result.dirty = std::move(dirty);
    }
    return result;
}

}  // namespace kg::capture
