#pragma once
// The H.264 encoder of a recording (libx264, 4:2:0) on its own thread, fed through a short
// bounded queue so that grabbing and encoding use two cores.
//
// Frames carry their true presentation times (variable frame rate, at most 30 per second).
// Each packet is held until the next one arrives, which gives it its exact duration; the
// last one lasts until the end time given to finish(), so the movie lasts as long as the
// recording did even when the screen was still at the end.
//
// Threads: construction, start() and finish() on the thread that owns the recording;
// submit() on the capture thread.

#include <cstdint>
#include <thread>

#include "capture/encoding/av_handles.h"
#include "capture/bounded_queue.h"

namespace kg::capture {

class MovieWriter;

class VideoEncoder {
public:
    // Ticks per second of every timestamp given to or produced by the encoder.
    static constexpr int kTimeBase = 90000;

    // A span of CLOCK_MONOTONIC nanoseconds in kTimeBase ticks, truncated toward zero. Exact
    // for any span (the plain product would overflow after about 28 hours).
    [[nodiscard]] static constexpr std::int64_t ticksFromNs(std::int64_t spanNs) {
        constexpr std::int64_t kNsPerSecond = 1'000'000'000;
        return spanNs / kNsPerSecond * kTimeBase + spanNs % kNsPerSecond * kTimeBase / kNsPerSecond;
    }

    // Throws CaptureError when the encoder cannot be opened for this size.
    VideoEncoder(int width, int height);
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    [[nodiscard]] const AVCodecContext& context() const { return *codec_; }

    // Begins encoding into stream `streamIndex` of `writer`, which must outlive finish().
    void start(MovieWriter& writer, int streamIndex);

    // Queues `frame` (its pts in kTimeBase ticks, increasing). Waits while the queue is full.
    // `keyframe` asks for a frame that can be decoded on its own.
    void submit(AvFramePtr frame, bool keyframe);

    // Encodes everything queued, ends the movie's last frame at `endPts`, writes all packets.
    // Idempotent; the encoder takes no more frames afterwards.
    void finish(std::int64_t endPts);

private:
    struct Job {
        AvFramePtr frame;
        bool keyframe = false;
    };
    void run();
    void encode();
    void drainPackets();
    void emit(AVPacket* next);

    AvCodecContextPtr codec_;
    BoundedQueue<Job> queue_{3};
    std::thread thread_;
    MovieWriter* writer_ = nullptr;
    int streamIndex_ = -1;
    // Encoder thread only:
    AvPacketPtr held_;
    AvPacketPtr received_;
    bool writing_ = true;
    std::int64_t endPts_ = 0;  // set before the queue closes, read by the encoder thread after
};

}  // namespace kg::capture
