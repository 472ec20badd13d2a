#pragma once
// The screen-cast portal as a video source, for Wayland sessions: the portal shares one whole
// monitor as a PipeWire stream (the cursor drawn in where the portal offers that), and the
// region is cut out of it.
//
// Regions are display-relative points like everywhere else; the display is the compositor's
// first output, and a point is one unit of the compositor's logical layout (which Xwayland,
// and so select-region, uses too). A region must lie on the monitor the portal shares; the
// stream's pixels are scaled from the layout by the stream's size over the output's logical
// size (2 on a monitor at scale 2).
//
// Our own windows cannot be left out: a portal stream shows what the monitor shows.
//
// Threads: see VideoSource. ensureRecordable() from any thread.

#include <memory>
#include <optional>
#include <vector>

#include "capture/portal/output_snapshot.h"
#include "capture/portal/pipewire_stream.h"
#include "capture/portal/restore_token_store.h"
#include "capture/portal/screen_cast_session.h"
#include "capture/portal/wayland_outputs.h"
#include "capture/source/video_source.h"

namespace kg::capture {

class PortalVideoSource final : public VideoSource {
public:
    // Lists the outputs and runs the portal's hand-shake (a person may be asked to choose a
    // monitor, once: see RestoreTokenStore). Throws CaptureError "screen capture
    // unavailable: ..." or "screen capture permission denied".
    explicit PortalVideoSource(RestoreTokenStore tokens);
    ~PortalVideoSource() override;

    [[nodiscard]] Size displaySize() const override;
    void setGeometry(const FrameGeometry& geometry) override { geometry_ = geometry; }
    void ensureRecordable(const Rect& region) const override;
    void moveTo(const Rect& region) override;
    void start() override;
    SourcePoll poll(PollMode mode) override;
    void stop() override;

private:
    [[nodiscard]] PixelRect layoutPixels(const Rect& region) const;

    RestoreTokenStore tokens_;
    std::vector<WaylandOutput> outputs_;  // never changes after construction
    std::unique_ptr<ScreenCastSession> session_;
    CastStream cast_;
    UniqueFd remote_;
    FrameGeometry geometry_;

    // Capture thread once started:
    std::unique_ptr<PipeWireStream> stream_;
    PixelRect grab_;                          // layout coordinates
    const WaylandOutput* grabOutput_ = nullptr;
    std::vector<std::uint8_t> pixels_;
    std::uint64_t lastGeneration_ = 0;
    bool snapshotTaken_ = false;
    std::optional<OutputSnapshot> snapshot_;  // until the stream's first frame
    bool started_ = false;
    bool ended_ = false;
};

}  // namespace kg::capture
