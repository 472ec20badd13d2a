#include "capture/x11/window_exclusion.h"

#include <algorithm>

#include "capture/monotonic_clock.h"

namespace kg::capture {

namespace {
constexpr std::size_t kMaxDamaged = 256;
}  // namespace

WindowExclusion::WindowExclusion(X11Display& display, const std::vector<std::uint32_t>& windowIds)
    : display_(display), windows_(display, windowIds) {
    if (!active()) return;
    cache_.emplace(display_.width(), display_.height());
    below_ = std::make_unique<WindowsBelow>(display_, windows_.ids());
}

bool WindowExclusion::handleEvent(const xcb_generic_event_t& event) {
    return active() && windows_.handleEvent(event, monotonicNowNs());
}

bool WindowExclusion::coverChanged(const PixelRect& rect) {
    if (!active()) return false;
    const std::vector<PixelRect>& covered = windows_.covered(monotonicNowNs());
    if (windows_.generation() == lastGeneration_) return false;
    lastGeneration_ = windows_.generation();
    auto touches = [&](const std::vector<PixelRect>& list) {
        return std::any_of(list.begin(), list.end(), [&](const PixelRect& r) { return r.intersects(rect); });
    };
    const bool inside = touches(covered) || touches(lastCovered_);
    lastCovered_ = covered;
    return inside;
}

void WindowExclusion::screenChanged(const PixelRect& rect) {
    if (!active()) return;
    damaged_.push_back(rect);
    // A busy screen between two grabs: its changes merged, which forgets more, never less.
    if (damaged_.size() > kMaxDamaged) {
        PixelRect box = damaged_.front();
        for (const PixelRect& r : damaged_) {
            const std::int64_t left = std::min(box.x, r.x), top = std::min(box.y, r.y);
            box = {left, top, std::max(box.right(), r.right()) - left, std::max(box.bottom(), r.bottom()) - top};
        }
        damaged_.assign(1, box);
    }
}

void WindowExclusion::learnScreen(const BgrxView& screen) {
    damaged_.clear();  // changes reported so far are in this grab
    cache_->learn(screen, {0, 0, screen.width, screen.height}, windows_.covered(monotonicNowNs()));
    below_->learnBackground(screen);
    seeded_ = true;
}

void WindowExclusion::apply(const BgrxView& frame, const PixelRect& frameRect) {
    if (!active()) return;
    const std::vector<PixelRect>& covered = windows_.covered(monotonicNowNs());
    // Changes are forgotten only now, with every event up to the grab in: a pixel that one of
    // our windows reached meanwhile keeps what was seen there (the change may well have been
    // that window's arrival), instead of being lost to a rebuild.
    for (const PixelRect& r : damaged_) cache_->forget(r, covered);
    damaged_.clear();
    cache_->learn(frame, frameRect, covered);
    const std::vector<PixelRect> unknown = cache_->fill(frame, frameRect, covered);
    if (unknown.empty()) return;
    for (const PixelRect& r : unknown) cache_->learnUnknown(below_->rebuild(r), r);
    cache_->fill(frame, frameRect, covered);
}

}  // namespace kg::capture
