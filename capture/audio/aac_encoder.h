#pragma once
// AAC-LC encoding of the track: 48000 Hz, stereo, from interleaved float frames.
//
// Packets carry pts and dts in frames (time base 1/48000) counted from the first frame given
// to encode(); the encoder's priming delay shows as a negative pts on the first packets,
// which the container turns into an edit, so frame N of the input plays at N / 48000 s.
// Single-threaded: owned by the track's worker thread.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "capture/av_handles.h"

namespace kg::capture::audio {

class AacEncoder {
public:
    // Receives each finished packet; returns false when it could not be written, after
    // which no further packet is offered.
    using PacketSink = std::function<bool(AVPacket& packet)>;

    // Throws std::runtime_error when the encoder cannot be opened.
    AacEncoder();

    // The opened encoder, for adding the stream to the container.
    [[nodiscard]] const AVCodecContext& context() const { return *context_; }
    [[nodiscard]] AVRational timeBase() const { return context_->time_base; }

    // Encodes whole stereo frames; a partial codec frame waits for more input. Returns false
    // once encoding or the sink has failed.
    bool encode(std::span<const float> interleaved, const PacketSink& sink);
    // Encodes what is left and drains the encoder. No encode() after it.
    bool finish(const PacketSink& sink);

    [[nodiscard]] std::int64_t framesEncoded() const { return nextPts_; }

private:
    bool sendFrame(const AVFrame* frame, const PacketSink& sink);
    bool encodeBuffered(std::size_t frames, const PacketSink& sink);

    AvCodecContextPtr context_;
    AvFramePtr frame_;
    AvPacketPtr packet_;
    std::vector<float> buffered_;  // interleaved, fewer than one codec frame
    std::int64_t nextPts_ = 0;
    bool failed_ = false;
    bool finished_ = false;
};

}  // namespace kg::capture::audio
