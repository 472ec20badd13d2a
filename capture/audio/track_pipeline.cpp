#include "capture/audio/track_pipeline.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "capture/monotonic_clock.h"
#include "capture/audio/sample_clock.h"
#include "capture/audio/track_assembler.h"

namespace kg::capture::audio {
namespace {

// Sound captured this long before start() may still belong to the movie (the epoch can lie
// before the call); anything older is let go while waiting for start().
constexpr std::int64_t kPrerollNs = 1'000'000'000;

}  // namespace

TrackPipeline::TrackPipeline(std::size_t sourceCount, std::unique_ptr<AacEncoder> encoder, AacEncoder::PacketSink sink,
                             PipelineTimings timings)
    : sourceCount_(sourceCount), timings_(timings), encoder_(std::move(encoder)), sink_(std::move(sink)),
      lost_(sourceCount, false) {
    worker_ = std::thread([this] { run(); });
}

TrackPipeline::~TrackPipeline() { finish(monotonicNowNs()); }

bool TrackPipeline::push(std::size_t source, std::span<const float> interleaved, std::int64_t firstFrameNs) {
    Chunk chunk{source, firstFrameNs, std::vector<float>(interleaved.begin(), interleaved.end())};
    {
        std::lock_guard lock(mutex_);
        if (done_) return false;
        if (queue_.size() >= timings_.queueLimit) {
            ++stats_.chunksDropped;  // the timeline fills the gap with silence
            return false;
        }
        queue_.push_back(std::move(chunk));
    }
    wake_.notify_one();
    return true;
}

void TrackPipeline::markLost(std::size_t source) {
    {
        std::lock_guard lock(mutex_);
        if (source < lost_.size()) lost_[source] = true;
    }
    wake_.notify_one();
}

void TrackPipeline::start(std::int64_t epochNs) {
    {
        std::lock_guard lock(mutex_);
        if (!epochNs_) epochNs_ = epochNs;
    }
    wake_.notify_one();
}

void TrackPipeline::finish(std::int64_t endNs) {
    {
        std::lock_guard lock(mutex_);
        if (!endNs_) {
            endNs_ = endNs;
            finishCalledNs_ = monotonicNowNs();
        }
    }
    wake_.notify_one();
    std::lock_guard join(joinMutex_);
    if (worker_.joinable()) worker_.join();
}

TrackPipeline::Stats TrackPipeline::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

void TrackPipeline::run() {
    // Nothing may escape the worker thread: a failure here costs the rest of the sound only.
    try {
        work();
    } catch (...) {
        std::lock_guard lock(mutex_);
        stats_.writeFailed = true;
    }
    std::lock_guard lock(mutex_);
    done_ = true;
}

void TrackPipeline::work() {
    TrackAssembler assembler(sourceCount_, timings_.toleranceFrames);
    std::vector<Chunk> preroll;
    std::vector<float> mixed;
    bool writing = true;
    bool finishSeen = false;
    const auto encode = [&] {
        if (writing && !mixed.empty()) writing = encoder_->encode(mixed, sink_);
        mixed.clear();
    };

    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, std::chrono::nanoseconds(timings_.tickNs),
                       [&] { return !queue_.empty() || (endNs_ && !finishSeen); });
        std::deque<Chunk> chunks;
        chunks.swap(queue_);
        const std::optional<std::int64_t> epoch = epochNs_;
        const std::optional<std::int64_t> end = endNs_;
        const std::vector<bool> lost = lost_;
        const std::int64_t finishCalled = finishCalledNs_;
        finishSeen = end.has_value();
        lock.unlock();

        const std::int64_t now = monotonicNowNs();
        if (!epoch) {
            // Not started: keep the recent past in case the epoch lies before start().
            for (auto& chunk : chunks) preroll.push_back(std::move(chunk));
            std::erase_if(preroll, [&](const Chunk& c) { return c.firstFrameNs < now - kPrerollNs; });
            if (end) break;  // finished without a start: an empty track
            lock.lock();
            continue;
        }
        for (auto& chunk : preroll) assembler.place(chunk.source, framesFromNs(chunk.firstFrameNs - *epoch), chunk.samples);
        preroll.clear();
        for (auto& chunk : chunks) assembler.place(chunk.source, framesFromNs(chunk.firstFrameNs - *epoch), chunk.samples);
        assembler.padAllTo(framesFromNs(now - timings_.stallAllowanceNs - *epoch));

        if (end) {
            const std::int64_t endFrame = std::max<std::int64_t>(0, framesFromNs(*end - *epoch));
            bool allThere = true;
            for (std::size_t i = 0; i < sourceCount_; ++i) {
                allThere = allThere && (lost[i] || assembler.source(i).end() >= endFrame);
            }
            if (allThere || now - finishCalled >= timings_.finishWaitNs) {
                assembler.padAllTo(endFrame);
                assembler.drain(endFrame, mixed);
                encode();
                if (writing) writing = encoder_->finish(sink_);
                lock.lock();
                break;
            }
            assembler.drain(endFrame, mixed);
        } else {
            assembler.drain(std::numeric_limits<std::int64_t>::max(), mixed);
        }
        encode();
        lock.lock();
    }
    if (!lock.owns_lock()) lock.lock();
    stats_.frames = assembler.drained();
    for (std::size_t i = 0; i < sourceCount_; ++i) {
        stats_.insertedFrames += assembler.source(i).insertedFrames();
        stats_.droppedFrames += assembler.source(i).droppedFrames();
    }
    stats_.writeFailed = !writing;
}

}  // namespace kg::capture::audio
