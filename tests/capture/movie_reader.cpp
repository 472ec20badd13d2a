#include "tests/capture/movie_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cstdlib>
#include <memory>

namespace kg::test {
namespace {

using Decoder = std::unique_ptr<AVCodecContext, decltype([](AVCodecContext* c) { avcodec_free_context(&c); })>;

// An opened decoder for the stream, or null when there is none.
Decoder openDecoder(const AVStream* stream) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    Decoder decoder(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoder.get(), stream->codecpar);
    decoder->pkt_timebase = stream->time_base;
    if (!codec || avcodec_open2(decoder.get(), codec, nullptr) < 0) return nullptr;
    return decoder;
}

// The frame's channels averaged, appended to `mono` (float output, as the AAC decoder gives).
void appendMono(const AVFrame& frame, std::vector<float>& mono) {
    const int channels = frame.ch_layout.nb_channels;
    for (int i = 0; i < frame.nb_samples; ++i) {
        double sum = 0;
        for (int c = 0; c < channels; ++c) {
            if (frame.format == AV_SAMPLE_FMT_FLTP) sum += reinterpret_cast<const float*>(frame.extended_data[c])[i];
            else if (frame.format == AV_SAMPLE_FMT_FLT) sum += reinterpret_cast<const float*>(frame.data[0])[i * channels + c];
        }
        mono.push_back(static_cast<float>(sum / channels));
    }
}

}  // namespace

Rgb DecodedFrame::at(int x, int y) const {
    const std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
    return {p[0], p[1], p[2]};
}

bool near(Rgb a, std::uint32_t rgb, int tolerance) {
    return std::abs(a.r - static_cast<int>((rgb >> 16) & 0xff)) <= tolerance &&
           std::abs(a.g - static_cast<int>((rgb >> 8) & 0xff)) <= tolerance &&
           std::abs(a.b - static_cast<int>(rgb & 0xff)) <= tolerance;
}

MovieSummary readMovie(const std::string& path, const std::function<void(const DecodedFrame&)>& onFrame) {
    av_log_set_level(AV_LOG_QUIET);
    MovieSummary summary;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return summary;
    const std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(raw, [](AVFormatContext* f) { avformat_close_input(&f); });
    if (avformat_find_stream_info(format.get(), nullptr) < 0) return summary;
    summary.readable = true;
    if (format->duration != AV_NOPTS_VALUE) summary.durationSeconds = format->duration / double(AV_TIME_BASE);
    for (unsigned i = 0; i < format->nb_streams; ++i) summary.videoStreams += format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    const int video = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audio = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    Decoder decoders[2];  // video, sound
    const AVStream* streams[2] = {video >= 0 ? format->streams[video] : nullptr, audio >= 0 ? format->streams[audio] : nullptr};
    for (int k = 0; k < 2; ++k) {
        if (streams[k]) decoders[k] = openDecoder(streams[k]);
    }
    if (streams[0]) {
        summary.codec = avcodec_get_name(streams[0]->codecpar->codec_id);
        summary.width = streams[0]->codecpar->width;
        summary.height = streams[0]->codecpar->height;
    }
    if (decoders[1]) {
        summary.sound.emplace();
        summary.sound->codec = avcodec_get_name(streams[1]->codecpar->codec_id);
        summary.sound->sampleRate = streams[1]->codecpar->sample_rate;
        summary.sound->channels = streams[1]->codecpar->ch_layout.nb_channels;
    }
    const std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    const std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
    SwsContext* sws = nullptr;
    DecodedFrame decoded;
    const auto take = [&](int k) {
        while (avcodec_receive_frame(decoders[k].get(), frame.get()) == 0) {
            const double timeBase = av_q2d(streams[k]->time_base);
            if (k == 1) {
                if (summary.sound->mono.empty() && frame->pts != AV_NOPTS_VALUE) summary.sound->startSeconds = frame->pts * timeBase;
                appendMono(*frame, summary.sound->mono);
                continue;
            }
            decoded.seconds = frame->best_effort_timestamp * timeBase;
            summary.frameTimes.push_back(decoded.seconds);
            if (!onFrame) continue;
            decoded.width = frame->width;
            decoded.height = frame->height;
            // libswscale's vector code writes a little past the last pixel of packed output.
            decoded.rgb.resize(static_cast<std::size_t>(frame->width) * frame->height * 3 + 64);
            sws = sws_getCachedContext(sws, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                       frame->width, frame->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
            std::uint8_t* planes[1] = {decoded.rgb.data()};
            const int strides[1] = {frame->width * 3};
            sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, strides);
            onFrame(decoded);
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        for (int k = 0; k < 2; ++k) {
            if (decoders[k] && packet->stream_index == streams[k]->index && avcodec_send_packet(decoders[k].get(), packet.get()) == 0) take(k);
        }
        av_packet_unref(packet.get());
    }
    for (int k = 0; k < 2; ++k) {
        if (!decoders[k]) continue;
        avcodec_send_packet(decoders[k].get(), nullptr);
        take(k);
    }
    sws_freeContext(sws);
    return summary;
}

std::vector<DecodedFrame> decodeFrames(const std::string& path, MovieSummary* summary) {
    std::vector<DecodedFrame> all;
    MovieSummary s = readMovie(path, [&](const DecodedFrame& f) { all.push_back(f); });
    if (summary) *summary = std::move(s);
    return all;
}

}  // namespace kg::test
