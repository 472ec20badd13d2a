#include "capture/audio/source_timeline.h"

#include <algorithm>
#include <cstdlib>

#include "capture/audio/sample_clock.h"

namespace kg::capture::audio {
namespace {

// An offset this many tolerances away is a real gap or overlap, not jitter.
constexpr std::int64_t kOutlierFactor = 4;

}  // namespace

SourceTimeline::SourceTimeline(std::int64_t toleranceFrames) : tolerance_(toleranceFrames) {}

void SourceTimeline::place(std::int64_t startFrame, std::span<const float> interleaved) {
    const auto frames = static_cast<std::int64_t>(interleaved.size() / kChannels);
    if (frames == 0) return;
    std::int64_t skip = 0;
    if (startFrame < 0) {
        skip = -startFrame;  // heard before the epoch: never part of the movie
        startFrame = 0;
    }
    const std::int64_t offset = startFrame - end_;
    const int sign = offset > tolerance_ ? 1 : offset < -tolerance_ ? -1 : 0;
    const bool confirmed = sign != 0 && (sign == lastOffsetSign_ || std::abs(offset) > kOutlierFactor * tolerance_ || end_ == 0);
    lastOffsetSign_ = sign;
    if (confirmed && sign > 0) {
        padTo(startFrame);
    } else if (confirmed && sign < 0) {
        skip += -offset;  // that span is already on the timeline
    }
    skip = std::min(skip, frames);
    dropped_ += skip;
    if (skip == frames) return;
    pending_.insert(pending_.end(), interleaved.begin() + skip * kChannels, interleaved.end());
    end_ += frames - skip;
}

void SourceTimeline::padTo(std::int64_t frame) {
    if (frame <= end_) return;
    const std::int64_t gap = frame - end_;
    pending_.insert(pending_.end(), static_cast<std::size_t>(gap * kChannels), 0.0f);
    inserted_ += gap;
    end_ = frame;
}

void SourceTimeline::take(std::size_t frames, float* dest) {
    frames = std::min(frames, available());
    const auto count = static_cast<std::ptrdiff_t>(frames * kChannels);
    std::copy(pending_.begin(), pending_.begin() + count, dest);
    pending_.erase(pending_.begin(), pending_.begin() + count);
}

}  // namespace kg::capture::audio
