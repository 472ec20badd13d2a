#pragma once
// Keeps our own windows (the border overlay, the control bar) out of the frames. A frame is
// the grab of the screen as it is shown; only the pixels our windows cover are replaced:
// their X shapes (the drawn pixels, not their boxes), at their current places and, for a
// while, where a compositing manager may still show them (ExcludedWindows). So the
// wallpaper, other windows, their translucency and a compositing manager's effects come from
// the screen itself everywhere else.
//
// A covered pixel shows the windows below ours as they are now (WindowsBelow, through
// Composite), and where no window lies, the root as last seen uncovered (CleanPixelCache:
// wallpaper, shadows falling on it), or the root's background colour if it was never seen.
// The rebuild runs only on frames where our windows cover part of the region.
//
// Beside the region the screen is not grabbed for the frames, yet what lies there matters
// once a drag or a resize brings the region over it while our windows are still held there.
// A change the screen shows near our windows is therefore grabbed and learnt, though only
// while they rest: while they move, the compositing manager repaints around them (changes of
// ours, not of the screen), and what it shows there may still be them. Such changes are kept
// back, with what was learnt before them, until the windows rest. Changes far from our
// windows are forgotten.
//
// Threads: the thread that owns the X11Display.

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "capture/bgrx_image.h"
#include "capture/capture_geometry.h"
#include "capture/x11/clean_pixel_cache.h"
#include "capture/x11/excluded_windows.h"
#include "capture/x11/windows_below.h"
#include "capture/x11/x11_display.h"

namespace kg::capture {

class WindowExclusion {
public:
    // `windowIds` as for ExcludedWindows.
    WindowExclusion(X11Display& display, const std::vector<std::uint32_t>& windowIds);

    // The top-level windows left out, in no particular order.
    [[nodiscard]] const std::vector<std::uint32_t>& excluded() const { return windows_.ids(); }

    // Consumes the event when it tells of a top-level window's change (ours or another);
    // returns whether it did.
    bool handleEvent(const xcb_generic_event_t& event);

    // The screen showed a change in `rect` (root coordinates): what was seen there before
    // is forgotten, except under our windows. Applied at the next apply().
    void screenChanged(const PixelRect& rect);

    // Whether what our windows cover inside `rect` changed since the previous call (then the
    // frame must be taken again even if the screen reported no change there). When it did,
    // adds to `regrab` the places covered before and now: their pixels must be grabbed anew.
    bool coverChanged(const PixelRect& rect, std::vector<PixelRect>& regrab);

    // A grab of the whole screen is wanted before the next frame: the first look at what lies
    // around our windows.
    [[nodiscard]] bool wantsScreen() const { return active() && !seeded_; }
    // `ours`: whether our windows were on the screen when it was grabbed (then nothing is
    // learnt inside their boxes).
    enum class OurWindows { shown, notYetShown };
    void learnScreen(const BgrxView& screen, OurWindows ours = OurWindows::shown);

    // The places beside `region` (root coordinates) to grab now; hand each grab to
    // learnBeside() once the events before its reply are handled.
    [[nodiscard]] std::vector<PixelRect> besideToGrab(const PixelRect& region);
    void learnBeside(const BgrxView& view, const PixelRect& rect);

    // The region's grab for the next apply() is about to be sent: changes reported from now
    // on may be missing from it, so they are applied with the grab after it.
    void grabStarting() { grabInFlight_ = true; }

    // Replaces the pixels of `frame` (the picture of `frameRect`, root coordinates) that our
    // windows cover, and learns the others of `fresh`, the parts just grabbed. Adds to
    // `replaced` the rectangles it wrote (root coordinates).
    void apply(const BgrxView& frame, const PixelRect& frameRect, const std::vector<PixelRect>& fresh,
               std::vector<PixelRect>& replaced);

private:
    struct Cluster {
        PixelRect box;
        std::int64_t area = 0;  // of the members, which may overlap
        std::vector<PixelRect> members;
    };
    static void addToClusters(std::vector<Cluster>& clusters, const PixelRect& rect);
    [[nodiscard]] bool active() const { return !windows_.ids().empty(); }

    X11Display& display_;
    ExcludedWindows windows_;
    std::optional<CleanPixelCache> cache_;
    std::unique_ptr<WindowsBelow> below_;
    std::vector<PixelRect> damaged_;
    std::vector<PixelRect> keptBack_;  // changes near our windows while they moved
    std::vector<PixelRect> afterGrab_;  // changes reported since grabStarting()
    bool grabInFlight_ = false;
    std::vector<PixelRect> vacated_;  // boxes other windows left; forgotten even under ours
    std::vector<PixelRect> lastCovered_;
    std::uint64_t lastGeneration_ = 0;
    bool seeded_ = false;
    bool compositingManager_ = false;
};

}  // namespace kg::capture
