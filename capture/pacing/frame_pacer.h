#pragma once
// The frame pacer: on its own thread, at most 30 times a second, it asks the video source for
// the region's picture, converts it to the recording's frame size and hands it to the encoder
// stamped with its tick's time. The movie has variable frame rate: a tick whose picture did
// not change writes nothing, and the last picture lasts until the movie's end.
//
// A fresh picture is asked for at least once a second even on a still screen (it bounds what
// a missed change report can hide, and keeps the movie's fragments, and so a crash's loss,
// short), and a keyframe is written at least every two seconds so that players can seek.
//
// Threads: construct, start() and stop() on the thread that owns the recording; setRegion()
// from any thread.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

#include "capture/capture_geometry.h"
#include "capture/encoding/frame_converter.h"
#include "capture/recording_delegate.h"
#include "capture/source/video_source.h"
#include "platform/geometry.h"

namespace kg::capture {

class VideoEncoder;

class FramePacer {
public:
    // Frame ticks per second: the highest frame rate of a recording.
    static constexpr int kFramesPerSecond = 30;

    // `source` must have its geometry and first region set; it and `delegate` must outlive
    // the pacer.
    FramePacer(VideoSource& source, const FrameGeometry& geometry, RecordingDelegate& delegate);
    ~FramePacer();
    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;

    // Starts pacing into `encoder` (which must outlive stop()); the movie's time 0 is
    // `epochNs` on CLOCK_MONOTONIC.
    void start(std::int64_t epochNs, VideoEncoder& encoder);

    // The next frame shows `region` (display-relative points), scaled into the fixed frame
    // size when its size differs. Must have passed checkRegion().
    void setRegion(const Rect& region);

    // Ends pacing after the frame in progress; no frame reaches the encoder afterwards.
    // Idempotent.
    void stop();

private:
    void run();
    void pace();
    bool sendFrame(std::int64_t tick, const SourcePoll& poll);

    VideoSource& source_;
    RecordingDelegate& delegate_;
    FrameConverter converter_;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::optional<Rect> pendingRegion_;  // set by setRegion(), taken by the pacing thread

    // Pacing thread only:
    std::thread thread_;
    VideoEncoder* encoder_ = nullptr;
    std::int64_t epochNs_ = 0;
    std::int64_t lastSentTick_ = -1;
    std::int64_t lastKeyTick_ = -1;
};

}  // namespace kg::capture
