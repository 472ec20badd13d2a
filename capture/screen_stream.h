#pragma once
// The capture stream: on its own thread, at most 30 times a second, it grabs the source
// rectangle when something in it changed, rebuilds what excluded windows cover, draws the
// cursor, converts the pixels to the recording's frame size and hands the frame to the
// encoder with its true time.
//
// Frames are driven by change: DAMAGE events inside the rectangle, a pointer that moved or
// changed shape there, a new source rectangle. A still screen costs a pointer query per tick
// and one fresh grab per second (which also catches any change the damage reports missed).
// Without DAMAGE every tick grabs and compares the pixels with the previous grab.
//
// Threads: construct, start() and stop() on the thread that owns the recording;
// setRegion() from any thread.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "capture/capture_geometry.h"
#include "capture/cursor_tracker.h"
#include "capture/damage_watch.h"
#include "capture/frame_converter.h"
#include "capture/recording_delegate.h"
#include "capture/screen_grabber.h"
#include "capture/window_exclusion.h"
#include "capture/x11_display.h"
#include "platform/geometry.h"

namespace kg::capture {

class VideoEncoder;

class ScreenStream {
public:
    // Frame ticks per second: the highest frame rate of a recording.
    static constexpr int kFramesPerSecond = 30;

    // `region` is display-relative (points, origin at the display's top-left, y down); its
    // display's top-left is (displayX, displayY) in root coordinates. `delegate` must outlive
    // the stream.
    ScreenStream(std::unique_ptr<X11Display> display, std::int64_t displayX, std::int64_t displayY,
                 const FrameGeometry& geometry, const Rect& region, const std::vector<std::uint32_t>& excludedWindowIds,
                 RecordingDelegate& delegate);
    ~ScreenStream();
    ScreenStream(const ScreenStream&) = delete;
    ScreenStream& operator=(const ScreenStream&) = delete;

    // Starts capturing into `encoder` (which must outlive stop()); the movie's time 0 is
    // `epochNs` on CLOCK_MONOTONIC.
    void start(std::int64_t epochNs, VideoEncoder& encoder);

    // The next frame shows `region` (display-relative points), scaled into the fixed frame
    // size when its size differs. Must have passed checkRegion().
    void setRegion(const Rect& region);

    // Ends capture after the frame in progress; no frame reaches the encoder afterwards.
    // Idempotent.
    void stop();

    [[nodiscard]] const std::vector<std::uint32_t>& excludedWindows() const { return exclusion_.excluded(); }

private:
    void run();
    void capture();
    void drainEvents();
    bool captureFrame(std::int64_t tick, bool mustSend);

    std::unique_ptr<X11Display> display_;
    std::int64_t displayX_, displayY_;
    FrameGeometry geometry_;
    RecordingDelegate& delegate_;
    ScreenGrabber grabber_;
    DamageWatch damage_;
    CursorTracker cursor_;
    WindowExclusion exclusion_;
    FrameConverter converter_;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::optional<Rect> pendingRegion_;  // set by setRegion(), taken by the capture thread

    // Capture thread only:
    std::thread thread_;
    VideoEncoder* encoder_ = nullptr;
    std::int64_t epochNs_ = 0;
    PixelRect source_;
    std::optional<std::uint64_t> lastHash_;
    std::int64_t lastSentTick_ = -1;
    std::int64_t lastKeyTick_ = -1;
};

}  // namespace kg::capture
