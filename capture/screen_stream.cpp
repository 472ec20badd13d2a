#include "capture/screen_stream.h"

#include <chrono>
#include <cstring>
#include <exception>
#include <utility>

#include "capture/monotonic_clock.h"
#include "capture/video_encoder.h"

namespace kg::capture {

namespace {

// A fresh grab at least this often, even on a still screen (in ticks): bounds what a missed
// damage report can hide, and keeps the movie's fragments, and so a crash's loss, short.
constexpr std::int64_t kRefreshTicks = ScreenStream::kFramesPerSecond;
// A keyframe at least this often (in ticks), so that players can seek.
constexpr std::int64_t kKeyframeTicks = 2 * ScreenStream::kFramesPerSecond;

std::int64_t tickTimeNs(std::int64_t epochNs, std::int64_t tick) {
    return epochNs + tick * 1'000'000'000 / ScreenStream::kFramesPerSecond;
}

std::uint64_t hashPixels(const BgrxView& view) {
    std::uint64_t hash = 0x9e3779b97f4a7c15ull;
    const std::size_t rowBytes = static_cast<std::size_t>(view.width) * 4;
    for (int y = 0; y < view.height; ++y) {
        const std::uint8_t* row = view.data + y * view.stride;
        std::size_t i = 0;
        for (; i + 8 <= rowBytes; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, row + i, 8);
            hash = (hash ^ word) * 0x100000001b3ull;
            hash ^= hash >> 29;
        }
        for (; i < rowBytes; ++i) hash = (hash ^ row[i]) * 0x100000001b3ull;
    }
    return hash;
}

}  // namespace

ScreenStream::ScreenStream(std::unique_ptr<X11Display> display, std::int64_t displayX, std::int64_t displayY,
                           const FrameGeometry& geometry, const Rect& region,
                           const std::vector<std::uint32_t>& excludedWindowIds, RecordingDelegate& delegate)
    : display_(std::move(display)),
      displayX_(displayX),
      displayY_(displayY),
      geometry_(geometry),
      delegate_(delegate),
      grabber_(*display_),
      damage_(*display_),
      cursor_(*display_),
      exclusion_(*display_, excludedWindowIds),
      converter_(static_cast<int>(geometry.frameWidth), static_cast<int>(geometry.frameHeight)) {
    source_ = sourcePixels(region, geometry_, displayX_, displayY_);
    xcb_flush(display_->connection());
}

ScreenStream::~ScreenStream() { stop(); }

void ScreenStream::start(std::int64_t epochNs, VideoEncoder& encoder) {
    encoder_ = &encoder;
    epochNs_ = epochNs;
    thread_ = std::thread([this] { run(); });
}

void ScreenStream::setRegion(const Rect& region) {
    std::lock_guard lock(mutex_);
    pendingRegion_ = region;
}

void ScreenStream::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void ScreenStream::drainEvents() {
    xcb_connection_t* c = display_->connection();
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
        if (!damage_.handleEvent(*event)) cursor_.handleEvent(*event);
        std::free(event);
    }
}

bool ScreenStream::captureFrame(std::int64_t tick, bool mustSend) {
    damage_.reset();
    auto view = grabber_.grab(source_);
    if (!view) return false;
    if (!damage_.available()) {
        const std::uint64_t hash = hashPixels(*view);
        const bool same = lastHash_ && *lastHash_ == hash;
        lastHash_ = hash;
        if (same && !mustSend) return false;
    }
    exclusion_.rebuild(*view, source_);
    cursor_.draw(*view, source_.x, source_.y);
    AvFramePtr frame = converter_.convert(*view);
    if (!frame) return false;
    frame->pts = tick * VideoEncoder::kTimeBase / kFramesPerSecond;
    const bool keyframe = lastKeyTick_ < 0 || tick - lastKeyTick_ >= kKeyframeTicks;
    if (keyframe) lastKeyTick_ = tick;
    encoder_->submit(std::move(frame), keyframe);
    lastSentTick_ = tick;
    return true;
}

void ScreenStream::run() {
    // Nothing may escape the capture thread (that would end the process with a message on
    // standard error): running out of memory ends the frames, reported like any other failure,
    // and the file is still finished by stop().
    try {
        capture();
    } catch (const std::exception& error) {
        try {
            delegate_.recordingDidFail(error.what());
        } catch (...) {
        }
    }
}

void ScreenStream::capture() {
    bool force = true;  // the first frame is always sent: every movie holds at least one
    bool lost = false;
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
        if (!lost && xcb_connection_has_error(display_->connection())) {
            lost = true;
            delegate_.recordingDidFail("the connection to the X server was lost");
        }
        if (!lost) {
            drainEvents();
            if (newRegion) {
                source_ = sourcePixels(*newRegion, geometry_, displayX_, displayY_);
                force = true;
            }
            const bool cursorChanged = cursor_.refresh(source_);
            const bool changed = force || cursorChanged || !damage_.available() || damage_.touched(source_);
            const bool refresh = tick - lastSentTick_ >= kRefreshTicks;
            if (changed || refresh) {
                if (captureFrame(tick, force || cursorChanged || refresh)) force = false;
            }
        }
        // The next tick still ahead; ticks that passed while this one ran are skipped.
        const std::int64_t elapsed = monotonicNowNs() - epochNs_;
        const std::int64_t due = elapsed * kFramesPerSecond / 1'000'000'000 + 1;
        tick = std::max(tick + 1, due);
    }
}

}  // namespace kg::capture
