#include "capture/audio/aac_encoder.h"

#include <algorithm>
#include <stdexcept>
#include <string>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

#include "capture/audio/sample_clock.h"

namespace kg::capture::audio {

AacEncoder::AacEncoder() {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec) throw std::runtime_error("this FFmpeg has no AAC encoder");
    context_.reset(avcodec_alloc_context3(codec));
    if (!context_) throw std::runtime_error("out of memory for the AAC encoder");
    context_->sample_rate = kSampleRate;
    context_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context_->bit_rate = 160'000;
    context_->time_base = AVRational{1, kSampleRate};
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (av_channel_layout_copy(&context_->ch_layout, &stereo) < 0) throw std::runtime_error("out of memory for the AAC encoder");
    // MP4 keeps the decoder configuration in the sample description, not in the stream.
    context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int rc = avcodec_open2(context_.get(), codec, nullptr); rc < 0) {
        throw std::runtime_error("cannot open the AAC encoder: " + avErrorText(rc));
    }
    toSwallow_ = context_->initial_padding;
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!frame_ || !packet_) throw std::runtime_error("out of memory for the AAC encoder");
}

bool AacEncoder::encode(std::span<const float> interleaved, const PacketSink& sink) {
    if (failed_ || finished_) return false;
    const auto swallowed = std::min<std::size_t>(static_cast<std::size_t>(toSwallow_), interleaved.size() / kChannels);
    toSwallow_ -= static_cast<std::int64_t>(swallowed);
    interleaved = interleaved.subspan(swallowed * kChannels);
    buffered_.insert(buffered_.end(), interleaved.begin(), interleaved.end());
    const auto codecFrame = static_cast<std::size_t>(context_->frame_size);
    while (buffered_.size() >= codecFrame * kChannels) {
        if (!encodeBuffered(codecFrame, sink)) return false;
    }
    return true;
}

bool AacEncoder::encodeBuffered(std::size_t frames, const PacketSink& sink) {
    av_frame_unref(frame_.get());
    frame_->format = AV_SAMPLE_FMT_FLTP;
    frame_->sample_rate = kSampleRate;
    frame_->nb_samples = static_cast<int>(frames);
    if (av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout) < 0 || av_frame_get_buffer(frame_.get(), 0) < 0) {
        failed_ = true;
        return false;
    }
    auto* left = reinterpret_cast<float*>(frame_->data[0]);
    auto* right = reinterpret_cast<float*>(frame_->data[1]);
    for (std::size_t i = 0; i < frames; ++i) {
        left[i] = buffered_[2 * i];
        right[i] = buffered_[2 * i + 1];
    }
    buffered_.erase(buffered_.begin(), buffered_.begin() + static_cast<std::ptrdiff_t>(frames * kChannels));
    frame_->pts = nextPts_;
    nextPts_ += static_cast<std::int64_t>(frames);
    return sendFrame(frame_.get(), sink);
}

bool AacEncoder::sendFrame(const AVFrame* frame, const PacketSink& sink) {
    if (avcodec_send_frame(context_.get(), frame) < 0) {
        failed_ = true;
        return false;
    }
    for (;;) {
        const int rc = avcodec_receive_packet(context_.get(), packet_.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) {
            failed_ = true;
            return false;
        }
        // The priming frames come out first, in place of the frames swallowed at the start.
        packet_->pts += context_->initial_padding;
        packet_->dts += context_->initial_padding;
        const bool written = sink(*packet_);
        av_packet_unref(packet_.get());
        if (!written) {
            failed_ = true;
            return false;
        }
    }
}

bool AacEncoder::finish(const PacketSink& sink) {
    if (finished_) return !failed_;
    finished_ = true;
    if (failed_) return false;
    // The encoder takes a shorter last frame, so the track ends on its last real frame.
    if (!buffered_.empty() && !encodeBuffered(buffered_.size() / kChannels, sink)) return false;
    return sendFrame(nullptr, sink);
}

}  // namespace kg::capture::audio
