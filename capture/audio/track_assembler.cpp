#include "capture/audio/track_assembler.h"

#include <algorithm>
#include <stdexcept>

#include "capture/audio/mixer.h"
#include "capture/audio/sample_clock.h"

namespace kg::capture::audio {

TrackAssembler::TrackAssembler(std::size_t sourceCount, std::int64_t toleranceFrames)
    : sources_(sourceCount, SourceTimeline(toleranceFrames)) {
    if (sourceCount == 0) throw std::invalid_argument("a sound track needs at least one source");
}

void TrackAssembler::place(std::size_t source, std::int64_t startFrame, std::span<const float> interleaved) {
    sources_.at(source).place(startFrame, interleaved);
}

void TrackAssembler::padAllTo(std::int64_t frame) {
    for (auto& timeline : sources_) timeline.padTo(frame);
}

std::size_t TrackAssembler::drain(std::int64_t limitFrame, std::vector<float>& out) {
    std::int64_t reached = limitFrame;
    for (const auto& timeline : sources_) reached = std::min(reached, timeline.end());
    if (reached <= drained_) return 0;
    const auto frames = static_cast<std::size_t>(reached - drained_);
    const std::size_t base = out.size();
    out.resize(base + frames * kChannels);
    sources_[0].take(frames, out.data() + base);
    for (std::size_t i = 1; i < sources_.size(); ++i) {
        scratch_.resize(frames * kChannels);
        sources_[i].take(frames, scratch_.data());
        mixInto(std::span<float>(out).subspan(base), scratch_);
    }
    drained_ = reached;
    return frames;
}

}  // namespace kg::capture::audio
