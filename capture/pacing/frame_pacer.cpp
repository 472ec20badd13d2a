#include "capture/pacing/frame_pacer.h"

#include <chrono>
#include <exception>
#include <utility>

#include "capture/encoding/video_encoder.h"
#include "capture/monotonic_clock.h"

namespace kg::capture {

namespace {

// A fresh picture at least this often (in ticks), even on a still screen.
constexpr std::int64_t kRefreshTicks = FramePacer::kFramesPerSecond;
// A keyframe at least this often (in ticks), so that players can seek.
constexpr std::int64_t kKeyframeTicks = 2 * FramePacer::kFramesPerSecond;

std::int64_t tickTimeNs(std::int64_t epochNs, std::int64_t tick) {
    return epochNs + tick * 1'000'000'000 / FramePacer::kFramesPerSecond;
}

}  // namespace

FramePacer::FramePacer(VideoSource& source, const FrameGeometry& geometry, RecordingDelegate& delegate)
    : source_(source),
      delegate_(delegate),
      converter_(static_cast<int>(geometry.frameWidth), static_cast<int>(geometry.frameHeight)) {}

FramePacer::~FramePacer() { stop(); }

void FramePacer::start(std::int64_t epochNs, VideoEncoder& encoder) {
    encoder_ = &encoder;
    epochNs_ = epochNs;
    thread_ = std::thread([this] { run(); });
}

void FramePacer::setRegion(const Rect& region) {
    std::lock_guard lock(mutex_);
    pendingRegion_ = region;
}

void FramePacer::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool FramePacer::sendFrame(std::int64_t tick, const SourcePoll& poll) {
    AvFramePtr frame = converter_.convert(poll.picture, poll.wholePicture ? nullptr : &poll.dirty);
    if (!frame) return false;
    frame->pts = tick * VideoEncoder::kTimeBase / kFramesPerSecond;
    const bool keyframe = lastKeyTick_ < 0 || tick - lastKeyTick_ >= kKeyframeTicks;
    if (keyframe) lastKeyTick_ = tick;
    encoder_->submit(std::move(frame), keyframe);
    lastSentTick_ = tick;
    return true;
}

void FramePacer::run() {
    // Nothing may escape the pacing thread (that would end the process with a message on
    // standard error): running out of memory ends the frames, reported like any other failure,
    // and the file is still finished by stop().
    try {
        pace();
    } catch (const std::exception& error) {
        try {
            delegate_.recordingDidFail(error.what());
        } catch (...) {
        }
    }
}

void FramePacer::pace() {
    bool force = true;  // the first frame is always sent: every movie holds at least one
    bool ended = false;
    for (std::int64_t tick = 0;;) {
        const auto deadline = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(tickTimeNs(epochNs_, tick)));
        std::optional<Rect> newRegion;
        {
            std::unique_lock lock(mutex_);
            // The first tick is at the epoch itself: no wait, and taken even when a stop came
            // first, so that every movie starts with a frame.
            if (tick > 0) {
                wake_.wait_until(lock, deadline, [&] { return stopping_; });
                if (stopping_) return;
            }
            newRegion = std::exchange(pendingRegion_, std::nullopt);
        }
        if (!ended) {
            if (newRegion) {
                source_.moveTo(*newRegion);
                force = true;
            }
            const bool refresh = tick - lastSentTick_ >= kRefreshTicks;
            SourcePoll poll = source_.poll(force || refresh ? PollMode::always : PollMode::ifChanged);
            if (poll.status == SourcePoll::Status::picture) {
                if (sendFrame(tick, poll)) force = false;
            } else if (poll.status == SourcePoll::Status::failed) {
                // The last picture stays until the movie's end; stop() still finishes the file.
                ended = true;
                delegate_.recordingDidFail(poll.failure);
            }
        }
        // The next tick still ahead; ticks that passed while this one ran are skipped.
        const std::int64_t elapsed = monotonicNowNs() - epochNs_;
        const std::int64_t due = elapsed * kFramesPerSecond / 1'000'000'000 + 1;
        tick = std::max(tick + 1, due);
    }
}

}  // namespace kg::capture
