#include "capture/portal/portal_video_source.h"

#include <sstream>

#include "capture/capture_error.h"
#include "capture/portal/crop_copy.h"
#include "capture/portal/shared_output.h"

namespace kg::capture {

namespace {

std::string describe(const WaylandOutput& output) {
    std::ostringstream text;
    text << output.name << " (" << output.logical.width << " x " << output.logical.height << " at "
         << output.logical.x << ", " << output.logical.y << ")";
    return text.str();
}

std::string describe(const CastStream& stream) {
    if (!stream.outputName.empty()) return stream.outputName;
    if (!stream.hasSize) return "another monitor";
    std::ostringstream text;
    text << "a " << stream.width << " x " << stream.height << " monitor";
    return text.str();
}

}  // namespace

PortalVideoSource::PortalVideoSource(RestoreTokenStore tokens)
    : tokens_(std::move(tokens)), outputs_(listWaylandOutputs()) {
    if (outputs_.empty()) throw CaptureError("No display found");
    session_ = std::make_unique<ScreenCastSession>(tokens_);
    cast_ = session_->streams().front();
    remote_ = session_->takePipeWireRemote();
}

PortalVideoSource::~PortalVideoSource() { PortalVideoSource::stop(); }

Size PortalVideoSource::displaySize() const {
    return {static_cast<double>(outputs_.front().logical.width), static_cast<double>(outputs_.front().logical.height)};
}

PixelRect PortalVideoSource::layoutPixels(const Rect& region) const {
    return sourcePixels(region, geometry_, outputs_.front().logical.x, outputs_.front().logical.y);
}

void PortalVideoSource::ensureRecordable(const Rect& region) const {
    const WaylandOutput* output = outputUnder(layoutPixels(region), outputs_);
    if (!output) throw CaptureError("the region lies on no monitor");
    if (!streamCouldShow(cast_, *output))
        throw CaptureError("the region lies on monitor " + describe(*output) + ", but the screen-cast portal shares " +
                           describe(cast_) + "; choose " + output->name + " when asked which screen to share");
}

void PortalVideoSource::moveTo(const Rect& region) {
    const PixelRect grab = layoutPixels(region);
    const WaylandOutput* output = outputUnder(grab, outputs_);
    // Before the recording starts, a stored permission that shares the wrong monitor would do
    // so on every later run too: forget it, so that the next run asks which one to share.
    if (!started_ && output && !streamCouldShow(cast_, *output)) tokens_.discard();
    ensureRecordable(region);
    grab_ = grab;
    grabOutput_ = outputUnder(grab_, outputs_);
}

void PortalVideoSource::start() {
    if (started_) return;
    stream_ = std::make_unique<PipeWireStream>(std::move(remote_), cast_.nodeId);
    started_ = true;
}

SourcePoll PortalVideoSource::poll(PollMode mode) {
    if (ended_ || !stream_) return {};
    if (auto failure = stream_->failure()) {
        ended_ = true;
        return {SourcePoll::Status::failed, {}, *failure, true, {}};
    }
    if (mode == PollMode::ifChanged && stream_->generation() == lastGeneration_) return {};
    PixelRect crop;
    const std::uint64_t generation = stream_->copyNewest(
        [this](std::int64_t width, std::int64_t height) { return streamPixels(grab_, *grabOutput_, width, height); },
        pixels_, crop);
    if (generation == 0) {
        // No stream frame yet: some backends send none until the screen changes. A snapshot
        // of the output, taken once, shows the screen meanwhile.
        if (!snapshotTaken_) {
            snapshotTaken_ = true;
            snapshot_ = snapshotOutput(grabOutput_->globalName);
        }
        if (!snapshot_) return {};
        crop = streamPixels(grab_, *grabOutput_, snapshot_->width, snapshot_->height);
        copyCrop(snapshot_->bgrx.data(), snapshot_->width * 4, snapshot_->width, snapshot_->height, false, crop, pixels_);
    } else {
        snapshot_.reset();
    }
    lastGeneration_ = generation;
    BgrxView view{pixels_.data(), static_cast<int>(crop.width), static_cast<int>(crop.height), crop.width * 4};
    return {SourcePoll::Status::picture, view, {}, true, {}};
}

void PortalVideoSource::stop() {
    stream_.reset();
    session_.reset();
}

}  // namespace kg::capture
