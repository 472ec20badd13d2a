#include "capture/audio/pulse_audio_track.h"

#include "capture/monotonic_clock.h"
#include "capture/movie/movie_writer.h"

namespace kg::capture::audio {
namespace {

// Long enough for a busy server, short enough that a hung one barely delays the recording.
constexpr std::chrono::milliseconds kConnectTimeout{3000};

}  // namespace

PulseAudioTrack::PulseAudioTrack(const std::vector<SourceRole>& sources, MovieWriter& writer, AudioWarning warn,
                                 PipelineTimings timings)
    : warn_(std::move(warn)) {
    auto encoder = std::make_unique<AacEncoder>();
    const AVCodecContext& codec = encoder->context();
    const AVRational timeBase = encoder->timeBase();
    // Packets flow only after start(), which comes after the header and so after streamIndex_
    // is set below.
    pipeline_ = std::make_unique<TrackPipeline>(
        sources.size(), std::move(encoder),
        [this, &writer, timeBase](AVPacket& packet) { return writer.writePacket(packet, streamIndex_, timeBase); },
        timings);
    capture_ = std::make_unique<PulseCapture>(
        sources,
        [this](std::size_t source, std::span<const float> samples, std::int64_t firstFrameNs) {
            pipeline_->push(source, samples, firstFrameNs);
        },
        [this](std::size_t source, const std::string& reason) {
            pipeline_->markLost(source);
            warnOnce(reason);
        },
        kConnectTimeout);
    streamIndex_ = writer.addStream(codec);
}

PulseAudioTrack::~PulseAudioTrack() { finish(monotonicNowNs()); }

void PulseAudioTrack::start(std::int64_t movieEpochNs) { pipeline_->start(movieEpochNs); }

void PulseAudioTrack::finish(std::int64_t movieEndNs) {
    // The pipeline waits for sound up to the end that is still on its way, so the capture
    // keeps running until it returns.
    pipeline_->finish(movieEndNs);
    capture_->stop();
}

void PulseAudioTrack::warnOnce(const std::string& reason) {
    if (warned_.exchange(true)) return;
    if (warn_) warn_(reason);
}

}  // namespace kg::capture::audio
