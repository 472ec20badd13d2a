#pragma once
// AAC-LC encoding of the track: 48000 Hz, stereo, from interleaved float frames.
//
// Packets carry pts and dts in frames (time base 1/48000), the first at 0. AAC decoders put
// the encoder's priming delay (initial_padding, 1024 frames) first, and a fragmented MP4 has no
// edit list to hide it, so the encoder swallows that many frames at the start of its input:
// decoded frame N is then input frame N, and the sound stays on the picture's time. The
// first priming frames of the input (21 ms) are not heard.
// Single-threaded: owned by the track's worker thread.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "capture/encoding/av_handles.h"

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


private:
    bool sendFrame(const AVFrame* frame, const PacketSink& sink);
    bool encodeBuffered(std::size_t frames, const PacketSink& sink);

    AvCodecContextPtr context_;
    AvFramePtr frame_;
    AvPacketPtr packet_;
    std::vector<float> buffered_;  // interleaved, fewer than one codec frame
    std::int64_t nextPts_ = 0;
    std::int64_t toSwallow_ = 0;  // input frames still to drop for the priming delay
    bool failed_ = false;
    bool finished_ = false;
};

}  // namespace kg::capture::audio
