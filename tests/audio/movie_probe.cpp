#include "tests/audio/movie_probe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <memory>
#include <stdexcept>

namespace kg::test {

std::optional<DecodedSound> decodeSound(const std::string& path) {
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) throw std::runtime_error("cannot open " + path);
    const std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> input(raw, [](AVFormatContext* f) { avformat_close_input(&f); });
    if (avformat_find_stream_info(input.get(), nullptr) < 0) throw std::runtime_error("cannot read " + path);
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) return std::nullopt;
    const AVStream* stream = input->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) throw std::runtime_error("no decoder");
    const std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> context(avcodec_alloc_context3(codec),
                                                                              [](AVCodecContext* c) { avcodec_free_context(&c); });
    avcodec_parameters_to_context(context.get(), stream->codecpar);
    context->pkt_timebase = stream->time_base;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) throw std::runtime_error("cannot open decoder");
    const std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    const std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });

    DecodedSound sound;
    sound.codec = avcodec_get_name(stream->codecpar->codec_id);
    sound.sampleRate = stream->codecpar->sample_rate;
    sound.channels = stream->codecpar->ch_layout.nb_channels;
    bool first = true;
    const auto drain = [&] {
        while (avcodec_receive_frame(context.get(), frame.get()) >= 0) {
            if (first && frame->pts != AV_NOPTS_VALUE) sound.startSeconds = frame->pts * av_q2d(stream->time_base);
            first = false;
            const int channels = frame->ch_layout.nb_channels;
            for (int i = 0; i < frame->nb_samples; ++i) {
                double sum = 0;
                for (int c = 0; c < channels; ++c) {
                    if (frame->format == AV_SAMPLE_FMT_FLTP) sum += reinterpret_cast<const float*>(frame->extended_data[c])[i];
                    else if (frame->format == AV_SAMPLE_FMT_FLT) sum += reinterpret_cast<const float*>(frame->data[0])[i * channels + c];
                }
                sound.mono.push_back(static_cast<float>(sum / channels));
            }
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) {
            avcodec_send_packet(context.get(), packet.get());
            drain();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(context.get(), nullptr);
    drain();
    return sound;
}

}  // namespace kg::test
