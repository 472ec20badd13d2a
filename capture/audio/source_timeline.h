#pragma once
// The sound of one capture source laid on the movie's timeline.
//
// Chunks arrive stamped with the frame position at which their first frame was heard. The
// source's own clock drifts against the monotonic clock and the stamps jitter, so a chunk
// rarely starts exactly where the previous one ended. Within `toleranceFrames` the chunk is
// appended as it is (jitter is not worth a click); beyond it the timeline is corrected: a gap
// is filled with silence, an overlap is cut from the chunk's start. Over a long recording
// this keeps every sound within the tolerance of its true time, however the clocks drift.
// One stamp off on its own (a thread woken late on a loaded machine) is not believed: a
// correction needs two chunks in a row off the same way, or one off by far more.
//
// Frames before position 0 (the epoch) are dropped. Single-threaded: owned by one thread.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>

namespace kg::capture::audio {

class SourceTimeline {
public:
    explicit SourceTimeline(std::int64_t toleranceFrames);

    // `interleaved` holds whole stereo frames; the first is heard at `startFrame`.
    void place(std::int64_t startFrame, std::span<const float> interleaved);
    // Fills silence up to `frame` when the source has nothing there (it stalled, was
    // suspended or is gone). Sound that arrives later for that span is then cut.
    void padTo(std::int64_t frame);

    // Position just past the last frame placed so far.
    [[nodiscard]] std::int64_t end() const { return end_; }
    // Frames placed but not yet taken.
    [[nodiscard]] std::size_t available() const { return pending_.size() / 2; }
    // Moves `frames` (at most available()) into `dest` as interleaved stereo.
    void take(std::size_t frames, float* dest);

    // What the corrections cost so far, for tests and diagnostics.
    [[nodiscard]] std::int64_t insertedFrames() const { return inserted_; }
    [[nodiscard]] std::int64_t droppedFrames() const { return dropped_; }

private:
    std::int64_t tolerance_;
    std::int64_t end_ = 0;
    std::int64_t inserted_ = 0;
    std::int64_t dropped_ = 0;
    int lastOffsetSign_ = 0;  // direction of the previous chunk's offset beyond the tolerance
    std::deque<float> pending_;
};

}  // namespace kg::capture::audio
