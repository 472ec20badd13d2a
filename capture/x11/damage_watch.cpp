#include "capture/x11/damage_watch.h"

#include <xcb/damage.h>

#include <algorithm>

namespace kg::capture {

namespace {
// Beyond this many rectangles they are merged into their bounding box: exact enough to tell
// whether the region changed, and bounded in cost on a busy screen.
constexpr std::size_t kMaxRectangles = 32;
}  // namespace

DamageWatch::DamageWatch(X11Display& display) : display_(display) {
    if (!display_.damage.present) return;
    xcb_connection_t* c = display_.connection();
    const std::uint32_t id = xcb_generate_id(c);
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_damage_create_checked(c, id, display_.root(), XCB_DAMAGE_REPORT_LEVEL_DELTA_RECTANGLES));
    if (error) {
        std::free(error);
        return;
    }
    damage_ = id;
}

DamageWatch::~DamageWatch() {
    if (damage_) xcb_damage_destroy(display_.connection(), damage_);
}

std::optional<PixelRect> DamageWatch::handleEvent(const xcb_generic_event_t& event) {
    if (!damage_ || (event.response_type & 0x7f) != display_.damage.firstEvent + XCB_DAMAGE_NOTIFY) return std::nullopt;
    const auto& notify = reinterpret_cast<const xcb_damage_notify_event_t&>(event);
    reported_ = true;
    const PixelRect area{notify.area.x, notify.area.y, notify.area.width, notify.area.height};
    changed_.push_back(area);
    if (changed_.size() > kMaxRectangles) {
        PixelRect box = changed_.front();
        for (const auto& r : changed_) box = box.united(r);
        changed_.assign(1, box);
    }
    return area;
}

bool DamageWatch::touched(const PixelRect& watched) const {
    return std::any_of(changed_.begin(), changed_.end(), [&](const PixelRect& r) { return r.intersects(watched); });
}

void DamageWatch::reset() {
    changed_.clear();
    if (damage_ && reported_) xcb_damage_subtract(display_.connection(), damage_, XCB_NONE, XCB_NONE);
    reported_ = false;
}

}  // namespace kg::capture
