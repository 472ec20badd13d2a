#pragma once
// The X server as a video source: grabs the region of the root window (MIT-SHM), replaces
// the pixels our own windows draw there (WindowExclusion), and draws the cursor (XFIXES).
//
// Pictures are driven by change: DAMAGE events inside the region, a pointer that moved or
// changed shape there, our windows moving or reshaping over it, a new region. A still screen
// costs a pointer query per tick. The region's picture is kept between frames and only what
// changed is grabbed again: the damaged rectangles, the places our windows cover or left, and
// the cursor's old and new places (what it covered is put back before it is drawn again).
// Without DAMAGE every poll grabs all of it and compares the pixels with the previous grab.
//
// Threads: see VideoSource.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "capture/source/video_source.h"
#include "capture/x11/cursor_tracker.h"
#include "capture/x11/damage_watch.h"
#include "capture/x11/screen_grabber.h"
#include "capture/x11/screen_snapshot.h"
#include "capture/x11/window_exclusion.h"
#include "capture/x11/x11_display.h"

namespace kg::capture {

class X11VideoSource final : public VideoSource {
public:
    // Connects to the X server at DISPLAY and records its first display (the primary RandR
    // monitor). `excludedWindowIds` are left out of the pictures; `screenBefore`, when given,
    // is the screen as it was just before they were shown. Throws CaptureError when no X server
    // can be reached, it lacks what capture needs, or it has no display.
    X11VideoSource(const std::vector<std::uint32_t>& excludedWindowIds,
                   std::shared_ptr<const ScreenSnapshot> screenBefore);

    [[nodiscard]] Size displaySize() const override;
    void setGeometry(const FrameGeometry& geometry) override { geometry_ = geometry; }
    void moveTo(const Rect& region) override;
    SourcePoll poll(PollMode mode) override;
    [[nodiscard]] std::vector<std::uint32_t> excludedWindows() const override { return exclusion_->excluded(); }

private:
    void drainEvents();

    std::unique_ptr<X11Display> display_;
    PixelRect displayFrame_;  // root coordinates
    FrameGeometry geometry_;
    std::unique_ptr<ScreenGrabber> grabber_;
    std::unique_ptr<DamageWatch> damage_;
    std::unique_ptr<CursorTracker> cursor_;
    std::unique_ptr<WindowExclusion> exclusion_;

    PixelRect source_;
    std::optional<BgrxView> picture_;  // of `pictureRect_`, as last delivered
    PixelRect pictureRect_;
    std::optional<std::uint64_t> lastHash_;
    bool lost_ = false;
};

}  // namespace kg::capture
