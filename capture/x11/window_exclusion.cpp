#include "capture/x11/window_exclusion.h"

#include <algorithm>
#include <cstring>

#include "capture/monotonic_clock.h"

namespace kg::capture {

namespace {

constexpr std::size_t kMaxDamaged = 256;

PixelRect boundingBox(const PixelRect& a, const PixelRect& b) {
    const std::int64_t left = std::min(a.x, b.x), top = std::min(a.y, b.y);
    return {left, top, std::max(a.right(), b.right()) - left, std::max(a.bottom(), b.bottom()) - top};
}

}  // namespace

// Neighbouring rectangles (the rows of the bar's rounded shape, a handle) share one rebuild;
// far or long thin ones (the band's sides) stay apart, so that no rebuild spans the region.
void WindowExclusion::addToClusters(std::vector<Cluster>& clusters, const PixelRect& rect) {
    constexpr std::int64_t kSlackPixels = 256;
    for (Cluster& cluster : clusters) {
        const PixelRect box = boundingBox(cluster.box, rect);
        if (box.width * box.height <= cluster.area + rect.width * rect.height + kSlackPixels) {
            cluster.box = box;
            cluster.area += rect.width * rect.height;
            cluster.members.push_back(rect);
            return;
        }
    }
    clusters.push_back({rect, rect.width * rect.height, {rect}});
}

WindowExclusion::WindowExclusion(X11Display& display, const std::vector<std::uint32_t>& windowIds)
    : display_(display), windows_(display, windowIds) {
    if (!active()) return;
    cache_.emplace(display_.width(), display_.height());
    compositingManager_ = display_.compositingManagerRuns();
    below_ = std::make_unique<WindowsBelow>(display_, windows_.ids());
}

bool WindowExclusion::handleEvent(const xcb_generic_event_t& event) {
    if (!active()) return false;
    // The root reports our windows' changes too, so both may want the same event.
    const bool ours = windows_.handleEvent(event, monotonicNowNs());
    return below_->handleEvent(event, vacated_) || ours;
}

bool WindowExclusion::coverChanged(const PixelRect& rect, std::vector<PixelRect>& regrab) {
    if (!active()) return false;
    const std::vector<PixelRect>& covered = windows_.covered(monotonicNowNs());
    if (windows_.generation() == lastGeneration_) return false;
    lastGeneration_ = windows_.generation();
    bool inside = false;
    for (const std::vector<PixelRect>* list : {&covered, static_cast<const std::vector<PixelRect>*>(&lastCovered_)}) {
        for (const PixelRect& r : *list) {
            if (!r.intersects(rect)) continue;
            inside = true;
            regrab.push_back(r.intersected(rect));
        }
    }
    lastCovered_ = covered;
    return inside;
}

void WindowExclusion::screenChanged(const PixelRect& rect) {
    if (!active()) return;
    // A compositing manager repaints the whole screen for reasons of its own (our windows
    // appearing or changing shape among them): such a report says nothing about where the
    // picture changed, and forgetting everything on it would lose for good what was seen under
    // our windows before they appeared. The windows below are read from themselves anyway;
    // only the wallpaper's look comes from what was seen.
    if (compositingManager_ && rect.x <= 0 && rect.y <= 0 && rect.right() >= display_.width() &&
        rect.bottom() >= display_.height())
        return;
    damaged_.push_back(rect);
    // A busy screen between two grabs: its changes merged, which forgets more, never less.
    if (damaged_.size() > kMaxDamaged) {
        PixelRect box = damaged_.front();
        for (const PixelRect& r : damaged_) box = boundingBox(box, r);
        damaged_.assign(1, box);
    }
}

void WindowExclusion::learnScreen(const BgrxView& screen, OurWindows ours) {
    damaged_.clear();  // changes reported so far are in this grab
    vacated_.clear();
    // Nothing is learnt inside our windows' boxes here: they were mapped just before, and a
    // compositing manager may still show them as they were before their shapes were set,
    // changes nobody reported to us. The region's own grabs learn those parts from now on.
    cache_->learn(screen, {0, 0, screen.width, screen.height},
                  ours == OurWindows::shown ? windows_.boxes() : std::vector<PixelRect>{});
    below_->learnBackground(screen);
    seeded_ = true;
}

void WindowExclusion::apply(const BgrxView& frame, const PixelRect& frameRect, const std::vector<PixelRect>& fresh,
                            std::vector<PixelRect>& replaced) {
    if (!active()) return;
    const std::vector<PixelRect>& covered = windows_.covered(monotonicNowNs());
    // Changes are forgotten only now, with every event up to the grab in: a pixel that one of
    // our windows reached meanwhile keeps what was seen there (the change may well have been
    // that window's arrival).
    for (const PixelRect& r : damaged_) cache_->forget(r, covered);
    for (const PixelRect& r : vacated_) cache_->forget(r, {});
    damaged_.clear();
    vacated_.clear();
    for (const PixelRect& part : fresh) {
        const PixelRect r = part.intersected(frameRect);
        if (r.empty()) continue;
        const BgrxView view{frame.pixel(static_cast<int>(r.x - frameRect.x), static_cast<int>(r.y - frameRect.y)),
                            static_cast<int>(r.width), static_cast<int>(r.height), frame.stride};
        cache_->learn(view, r, covered);
    }

    const PixelRect visible = frameRect.intersected({0, 0, display_.width(), display_.height()});
    std::vector<Cluster> clusters;
    for (const PixelRect& c : covered) {
        const PixelRect r = c.intersected(visible);
        if (!r.empty()) addToClusters(clusters, r);
    }
    if (clusters.empty()) return;
    std::vector<PixelRect> boxes;
    for (const Cluster& cluster : clusters) boxes.push_back(cluster.box);
    const std::vector<WindowsBelow::Area> areas = below_->rebuild(boxes);
    for (std::size_t i = 0; i < clusters.size(); ++i) {
        const WindowsBelow::Area& area = areas[i];
        replaced.push_back(clusters[i].box);
        for (const PixelRect& r : clusters[i].members) {
            for (std::int64_t y = r.y; y < r.bottom(); ++y) {
                for (std::int64_t x = r.x; x < r.right(); ++x) {
                    const std::size_t at = static_cast<std::size_t>((y - area.rect.y) * area.rect.width + x - area.rect.x);
                    std::uint32_t pixel = area.pixels[at];
                    if (!area.painted[at]) cache_->at(x, y, &pixel);
                    std::memcpy(frame.pixel(static_cast<int>(x - frameRect.x), static_cast<int>(y - frameRect.y)), &pixel, 4);
                }
            }
        }
    }
}

}  // namespace kg::capture
