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

}  // namespace kg::capture::audio
