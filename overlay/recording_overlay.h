#pragma once
// The recording overlay: a borderless, see-through window 3 points larger than the recorded
// region on every side, showing a red frame with four corner handles. Dragging the frame moves
// the window, dragging a handle resizes it; every accepted step and the final region go to the
// delegate (the recorder application), which moves the control bar and the capture.
//
// Main thread only, after Application::open(): creation, show(), close(), windowIDs(),
// dragTick() and every delegate call (made synchronously from mouse-event handling).
//
// Regions are in region coordinates (platform/geometry.h: x as in global space, y down from
// the main screen's top); the window frame is global, y up. The conversion uses the main
// screen's frame height at the moment it is made, or 0 when there is no main screen.

#include <cstdint>
#include <memory>
#include <vector>

#include "overlay/recording_overlay_view.h"
#include "platform/geometry.h"
#include "platform/window.h"

namespace kg {

class RecordingOverlay;

// Receives the overlay's region changes. Held weakly by the overlay (std::weak_ptr): when the
// delegate is gone, the overlay still tracks its region and simply calls nobody.
class RecordingOverlayDelegate {
public:
    // Every accepted step of a drag, with the region of the window frame just applied.
    virtual void overlayRegionIsChangingTo(RecordingOverlay& overlay, const Rect& region) = 0;
    // Once per press-release on the frame band (even without movement), with the final region.
    virtual void overlayRegionDidCommitTo(RecordingOverlay& overlay, const Rect& region) = 0;

protected:
    ~RecordingOverlayDelegate() = default;
};

class RecordingOverlay {
public:
    static constexpr double borderWidth = overlay::kBorderWidth;
    static constexpr double handleSize = overlay::kHandleSize;

    RecordingOverlay() = default;
    ~RecordingOverlay();  // closes the window
    RecordingOverlay(const RecordingOverlay&) = delete;
    RecordingOverlay& operator=(const RecordingOverlay&) = delete;

    void setDelegate(std::weak_ptr<RecordingOverlayDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    // The delegate if it is still alive, else null.
    [[nodiscard]] std::shared_ptr<RecordingOverlayDelegate> delegate() const {
        return delegate_.lock();
    }

    // Creates and shows the window around `region`, above every other window, without taking
    // keyboard focus. Calling it again replaces the previous window. The handles overlap the
    // region's corners, or lie outside it on a desktop whose recordings cannot leave our
    // windows out (placement()).
    void show(const Rect& region);

    // The window numbers (X11 window ids) to leave out of the recording: one while the window
    // exists on the X server, none before show() or after close().
    [[nodiscard]] std::vector<std::uint32_t> windowIDs() const;

    // Takes the window off the screen and lets go of window and view. Idempotent.
    void close();

    // Called by the view on every accepted drag step: stores the region and tells the
    // delegate, if alive.
    void dragTick(const Rect& newRegion);

    // The current region; all zero before show(). Written by show(), dragTick() and, at the
    // end of a drag, by the view.
    [[nodiscard]] const Rect& region() const { return region_; }
    void setRegion(const Rect& region) { region_ = region; }

    // The window and its content view; null before show() and after close().
    [[nodiscard]] Window* window() const { return window_.get(); }
    [[nodiscard]] RecordingOverlayView* view() const { return view_.get(); }
    [[nodiscard]] overlay::HandlePlacement placement() const { return placement_; }

private:
    std::unique_ptr<Window> window_;
    std::shared_ptr<RecordingOverlayView> view_;
    std::weak_ptr<RecordingOverlayDelegate> delegate_;
    Rect region_;
    overlay::HandlePlacement placement_ = overlay::HandlePlacement::overRegionCorners;
};

}  // namespace kg
