#include "capture/x11/window_exclusion.h"

#include <algorithm>
#include <cstring>

#include "capture/monotonic_clock.h"

namespace kg::capture {

namespace {

constexpr std::size_t kMaxDamaged = 256;
// How far from our windows a change is grabbed rather than forgotten: more than a drag moves
// them between two frames, so the places they are about to reach are known.
constexpr std::int64_t kReachPixels = 64;
// At most this share of the screen is grabbed beside the region at once; a bigger change
// (a window dragged across the screen) is forgotten instead.
constexpr std::int64_t kMaxBesideShare = 4;

// `r` less `hole`: up to four rectangles (above, below, left, right of it).
void subtract(const PixelRect& r, const PixelRect& hole, std::vector<PixelRect>& out) {
    const PixelRect inside = r.intersected(hole);
    if (inside.empty()) {
        if (!r.empty()) out.push_back(r);
        return;
    }
    const PixelRect parts[] = {{r.x, r.y, r.width, inside.y - r.y},
                               {r.x, inside.bottom(), r.width, r.bottom() - inside.bottom()},
                               {r.x, inside.y, inside.x - r.x, inside.height},
                               {inside.right(), inside.y, r.right() - inside.right(), inside.height}};
    for (const PixelRect& part : parts)
        if (!part.empty()) out.push_back(part);
}

void mergeIfMany(std::vector<PixelRect>& rects, std::size_t most) {
    if (rects.size() <= most) return;
    PixelRect box = rects.front();
    for (const PixelRect& r : rects) box = box.united(r);
    rects.assign(1, box);
}

}  // namespace

// Neighbouring rectangles (the rows of the bar's rounded shape, a handle) share one rebuild;
// far or long thin ones (the band's sides) stay apart, so that no rebuild spans the region.
void WindowExclusion::addToClusters(std::vector<Cluster>& clusters, const PixelRect& rect) {
    constexpr std::int64_t kSlackPixels = 256;
    for (Cluster& cluster : clusters) {
        const PixelRect box = cluster.box.united(rect);
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
    below_->screenChanged(rect);
    // A compositing manager repaints the whole screen for reasons of its own (our windows
    // appearing or changing shape among them): such a report says nothing about where the
    // picture changed, and forgetting everything on it would lose for good what was seen under
    // our windows before they appeared. The windows below are read from themselves anyway;
    // only the wallpaper's look comes from what was seen.
    if (compositingManager_ && rect.x <= 0 && rect.y <= 0 && rect.right() >= display_.width() &&
        rect.bottom() >= display_.height())
        return;
    std::vector<PixelRect>& list = grabInFlight_ ? afterGrab_ : damaged_;
    list.push_back(rect);
    // A busy screen between two grabs: its changes merged, which forgets more, never less.
    mergeIfMany(list, kMaxDamaged);
}

std::vector<PixelRect> WindowExclusion::besideToGrab(const PixelRect& region) {
    std::vector<PixelRect> wanted;
    if (!active() || (damaged_.empty() && keptBack_.empty())) return wanted;
    const std::vector<PixelRect>& covered = windows_.covered(monotonicNowNs());
    const bool resting = windows_.settled();
    PixelRect reach;
    for (const PixelRect& r : covered) reach = reach.united(r);
    if (!reach.empty())
        reach = {reach.x - kReachPixels, reach.y - kReachPixels, reach.width + 2 * kReachPixels, reach.height + 2 * kReachPixels};
    std::vector<PixelRect> inside, beside;
    for (const PixelRect& r : damaged_) {
        const PixelRect in = r.intersected(region);
        if (!in.empty()) inside.push_back(in);  // forgotten at apply(), then grabbed with the region
        subtract(r, region, beside);
    }
    damaged_ = std::move(inside);
    for (const PixelRect& r : beside) {
        if (!r.intersects(reach))
            cache_->forget(r, covered);
        else
            (resting ? wanted : keptBack_).push_back(r);
    }
    mergeIfMany(keptBack_, kMaxDamaged);
    if (resting) {
        for (const PixelRect& r : keptBack_) subtract(r, region, wanted);
        keptBack_.clear();
    }
    const PixelRect screen{0, 0, display_.width(), display_.height()};
    for (PixelRect& r : wanted) r = r.intersected(screen);
    std::erase_if(wanted, [](const PixelRect& r) { return r.empty(); });
    mergeIfMany(wanted, 16);
    std::int64_t area = 0;
    for (const PixelRect& r : wanted) area += r.width * r.height;
    if (area > screen.width * screen.height / kMaxBesideShare) {
        for (const PixelRect& r : wanted) cache_->forget(r, covered);
        wanted.clear();
    }
    return wanted;
}

void WindowExclusion::learnBeside(const BgrxView& view, const PixelRect& rect) {
    cache_->learn(view, rect, windows_.covered(monotonicNowNs()));
}

void WindowExclusion::learnScreen(const BgrxView& screen, OurWindows ours) {
    damaged_.clear();  // changes reported so far are in this grab
    keptBack_.clear();
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
    // that window's arrival). A change reported after the grab was sent waits for the next
    // grab: forgotten now, its pixels would stay unknown if our windows reached them before
    // that grab could show them.
    // Changes beside the frame wait for besideToGrab().
    std::vector<PixelRect> beside;
    for (const PixelRect& r : damaged_) {
        cache_->forget(r.intersected(frameRect), covered);
        subtract(r, frameRect, beside);
    }
    damaged_ = std::move(beside);
    damaged_.insert(damaged_.end(), afterGrab_.begin(), afterGrab_.end());
    afterGrab_.clear();
    grabInFlight_ = false;
    mergeIfMany(damaged_, kMaxDamaged);
    for (const PixelRect& r : vacated_) cache_->forget(r, {});
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
