#pragma once
// Puts the sources of one track (one, or two for "both") on the movie's timeline and hands out
// the finished track: frames that every source has reached, mixed when there are two.
// Single-threaded: owned by the track's worker thread.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "capture/audio/source_timeline.h"

namespace kg::capture::audio {

class TrackAssembler {
public:
    TrackAssembler(std::size_t sourceCount, std::int64_t toleranceFrames);

    void place(std::size_t source, std::int64_t startFrame, std::span<const float> interleaved);
    // Silence up to `frame` for every source that has not reached it.
    void padAllTo(std::int64_t frame);
    // Appends to `out` (interleaved stereo) the frames from drained() up to `limitFrame`
    // (exclusive) that every source has; returns how many frames that was.
    std::size_t drain(std::int64_t limitFrame, std::vector<float>& out);

    [[nodiscard]] std::int64_t drained() const { return drained_; }
    [[nodiscard]] const SourceTimeline& source(std::size_t index) const { return sources_.at(index); }

private:
    std::vector<SourceTimeline> sources_;
    std::int64_t drained_ = 0;
    std::vector<float> scratch_;
};

}  // namespace kg::capture::audio
