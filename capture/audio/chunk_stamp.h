#pragma once
// When the first frame of a chunk read from a sound server source is heard, on CLOCK_MONOTONIC.
//
// A monitor source hands out what its output has just rendered. How long the output then takes
// to play it is its latency, and that is the only part the server can get wrong: a virtual
// output (a null sink, as on a headless machine) has no device, and may report seconds of
// "latency" that are only how far ahead it happened to render (PulseAudio 16 was seen at
// 1.68 s while configured for 10 ms), and a record stream's own latency figures carry that
// number through a smoother that lags every change of it. So a chunk is stamped by when it was
// rendered (its arrival, less what waits before it in the read queue and in the source), plus
// the output's reported latency trusted only up to the latency the output is configured for:
// a real device plays no later than that, and a virtual one reports it as the small figure
// clients asked for. Pure arithmetic, any thread.

#include <algorithm>
#include <cstdint>
#include <limits>

#include "capture/audio/sample_clock.h"

namespace kg::capture::audio {

struct ReadTiming {
    std::int64_t arrivedNs = 0;        // when the chunk was taken from the stream
    std::int64_t queuedFrames = 0;     // frames in the stream's read queue, this chunk first
    std::int64_t sourceDelayNs = 0;    // the source's own buffer and the transport to this client
    std::int64_t sinkLatencyNs = 0;    // the monitored output's reported latency; 0 for an input
    std::int64_t sinkConfiguredNs = 0; // the latency that output is configured for
};

[[nodiscard]] constexpr std::int64_t firstFrameHeardNs(const ReadTiming& t) {
    const std::int64_t renderedNs = t.arrivedNs - nsFromFrames(t.queuedFrames) - std::max<std::int64_t>(0, t.sourceDelayNs);
    return renderedNs + std::clamp<std::int64_t>(t.sinkLatencyNs, 0, std::max<std::int64_t>(0, t.sinkConfiguredNs));
}

// A chunk's arrival is only ever late: the loop thread wakes late on a loaded machine, and by
// tens of milliseconds on two busy cores. Stamped one by one, a few late chunks in a row read
// as a gap, and the timeline fills it with silence and cuts as much when the stamps come back.
// A source delivers its frames without gaps, so each chunk's stamp is the previous stamp plus
// the previous chunk's length; a measurement earlier than that shows the whole run was late
// and is taken at once, one later than that is believed only when every chunk of half a second
// says so (the source's clock drifting against ours, followed by at most 2 ms a window) or two
// chunks in a row are far off (frames the server dropped). A hole in the stream advances the run by its length; after a pause of
// the stream (suspended, moved) the next measurement starts a new run. Single-threaded.
class StampSmoother {
public:
    // The stamp for a chunk of `frames` whose own measurement is `measuredNs`.
    std::int64_t stamp(std::int64_t measuredNs, std::int64_t frames) {
        const std::int64_t late = measuredNs - nextNs_;
        if (!running_ || late < 0) {
            nextNs_ = measuredNs;
            restartWindow();
        } else if (late > kFarOffNs && previousFarOff_) {
            nextNs_ = measuredNs;
            restartWindow();
        } else {
            previousFarOff_ = late > kFarOffNs;
            windowLateNs_ = std::min(windowLateNs_, late);
            windowFrames_ += frames;
            if (windowFrames_ >= kSampleRate / 2) {
                nextNs_ += std::min(windowLateNs_, kMostDriftPerWindowNs);
                restartWindow();
            }
        }
        running_ = true;
        const std::int64_t result = nextNs_;
        nextNs_ += nsFromFrames(frames);
        return result;
    }
    void skip(std::int64_t frames) { nextNs_ += nsFromFrames(frames); }
    void restart() { running_ = false; }

private:
    static constexpr std::int64_t kFarOffNs = 200'000'000;
    // A sound card's clock drifts against ours by well under 1,000 ppm: half a second moves it
    // by at most 0.5 ms. A machine busy for half a second makes every chunk of it late by far
    // more; taken as drift, that would open a gap of silence and cut as much back later.
    static constexpr std::int64_t kMostDriftPerWindowNs = 2'000'000;
    void restartWindow() {
        windowLateNs_ = std::numeric_limits<std::int64_t>::max();
        windowFrames_ = 0;
        previousFarOff_ = false;
    }
    bool running_ = false;
    std::int64_t nextNs_ = 0;
    std::int64_t windowLateNs_ = std::numeric_limits<std::int64_t>::max();
    std::int64_t windowFrames_ = 0;
    bool previousFarOff_ = false;
};

}  // namespace kg::capture::audio
