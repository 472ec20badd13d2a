#pragma once
// The working half of a sound track: takes stamped chunks from the capture thread, lays them on
// the movie's timeline, mixes, encodes AAC and hands packets to a sink, all on its own worker
// thread, so neither the sound server's thread nor the video path ever waits for the encoder
// or the file.
//
// Threads: push() and markLost() from any thread (the sound server's); start() and finish()
// from the thread that drives the recording; the sink runs on the worker thread only.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "capture/audio/aac_encoder.h"

namespace kg::capture::audio {

struct PipelineTimings {
    // A source that has delivered nothing for this long is taken to be silent for that span.
    // Must exceed any latency the server reports, or real sound would be cut as late.
    std::int64_t stallAllowanceNs = 400'000'000;
    // How long finish() waits for sound up to the end that is still on its way.
    std::int64_t finishWaitNs = 300'000'000;
    // Stamps within this much of where the timeline stands are taken as they are.
    std::int64_t toleranceFrames = 480;  // 10 ms
    // How often the worker wakes without input to let stalled sources advance.
    std::int64_t tickNs = 50'000'000;
    std::size_t queueLimit = 256;  // chunks waiting for the worker
};

class TrackPipeline {
public:
    TrackPipeline(std::size_t sourceCount, std::unique_ptr<AacEncoder> encoder, AacEncoder::PacketSink sink,
                  PipelineTimings timings = {});
    ~TrackPipeline();  // finishes at the current time if finish() was not called
    TrackPipeline(const TrackPipeline&) = delete;
    TrackPipeline& operator=(const TrackPipeline&) = delete;

    // Copies the chunk for the worker. Chunks may come before start(); those heard before the
    // epoch are dropped. Returns false when the chunk was dropped because the worker is behind.
    bool push(std::size_t source, std::span<const float> interleaved, std::int64_t firstFrameNs);
    // The source will send nothing more: its timeline is silence from where it stands.
    void markLost(std::size_t source);

    void start(std::int64_t epochNs);
    // Ends the track at endNs: waits (bounded) for sound still on its way, pads silence, drains
    // and flushes the encoder, and returns once the sink will not be called again. Idempotent.
    void finish(std::int64_t endNs);

    // After finish(): frames in the track and the corrections made, for tests.
    struct Stats {
        std::int64_t frames = 0;
        std::int64_t insertedFrames = 0;
        std::int64_t droppedFrames = 0;
        std::int64_t chunksDropped = 0;
        bool writeFailed = false;
    };
    [[nodiscard]] Stats stats() const;

private:
    struct Chunk {
        std::size_t source;
        std::int64_t firstFrameNs;
        std::vector<float> samples;
    };
    void run();
    void work();

    const std::size_t sourceCount_;
    const PipelineTimings timings_;
    std::unique_ptr<AacEncoder> encoder_;  // worker thread only
    AacEncoder::PacketSink sink_;

    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable wake_;
    std::deque<Chunk> queue_;
    std::vector<bool> lost_;
    std::optional<std::int64_t> epochNs_;
    std::optional<std::int64_t> endNs_;
    std::int64_t finishCalledNs_ = 0;
    bool done_ = false;
    Stats stats_;
    std::mutex joinMutex_;  // finish() may be called from two threads
    std::thread worker_;    // last: started after everything it reads exists
};

}  // namespace kg::capture::audio
