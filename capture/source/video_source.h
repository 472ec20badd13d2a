#pragma once
// What the frame pacer records from: a source of the screen's pictures. The X server (x11/)
// and the screen-cast portal's PipeWire stream (portal/) stand behind it; pacing, the frame
// size, keyframes, timestamps and encoding are the same whatever the source.
//
// The pacer asks on every frame tick (at most 30 a second); a source answers with the
// region's current pixels, cursor drawn in, only when they may have changed since its last
// answer, or when a picture is wanted anyway. So a still screen costs next to nothing.
//
// Regions are display-relative points (origin at the captured display's top-left, y down).
//
// Threads: construction, displaySize(), setGeometry() and start() on the thread that owns the
// recording, before the pacer runs; moveTo() there too before the pacer runs, then on the
// capture thread; poll() on the capture thread only; stop() on the owning thread once the
// pacer has stopped. A source may run threads of its own inside.

#include <cstdint>
#include <string>
#include <vector>

#include "capture/bgrx_image.h"
#include "capture/capture_geometry.h"
#include "platform/geometry.h"

namespace kg::capture {

struct SourcePoll {
    enum class Status {
        unchanged,  // nothing new; keep showing the last picture
        picture,    // `picture` holds the region's pixels
        failed,     // the source has ended for good; `failure` says why
    };
    Status status = Status::unchanged;
    // The region's pixels, of the size the region grabs (sourcePixels()); writable, valid
    // until the next poll().
    BgrxView picture;
    std::string failure;
    // Where `picture` may differ from the previous one delivered (picture pixels), so that
    // only those parts are converted; everywhere when `wholePicture`.
    bool wholePicture = true;
    std::vector<PixelRect> dirty;
};

// Whether a picture is wanted even when nothing may have changed: the first frame, a region
// that moved, the periodic refresh.
enum class PollMode { ifChanged, always };

class VideoSource {
public:
    virtual ~VideoSource() = default;

    // The captured display's size in points: the frame size of a recording without a region.
    [[nodiscard]] virtual Size displaySize() const = 0;

    // The recording's fixed frame size; called once before the first moveTo().
    virtual void setGeometry(const FrameGeometry& geometry) = 0;

    // Throws CaptureError when `region` cannot be recorded from this source (for example a
    // region on a monitor the screen-cast portal does not share). Any thread.
    virtual void ensureRecordable(const Rect& /*region*/) const {}

    // Later pictures show `region`, which passed ensureRecordable() (the first region may be
    // refused here too, with the same error).
    virtual void moveTo(const Rect& region) = 0;

    // Begins delivering; may block while the source connects. Throws CaptureError.
    virtual void start() {}

    // The next picture, see SourcePoll.
    virtual SourcePoll poll(PollMode mode) = 0;

    // Releases what start() acquired. Idempotent.
    virtual void stop() {}

    // The top-level windows left out of the pictures (diagnostics and tests).
    [[nodiscard]] virtual std::vector<std::uint32_t> excludedWindows() const { return {}; }
};

}  // namespace kg::capture
