#include "tests/capture/movie_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cstdlib>

namespace kg::test {

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
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return summary;
    if (avformat_find_stream_info(format, nullptr) < 0) {
        avformat_close_input(&format);
        return summary;
    }
    summary.readable = true;
    if (format->duration != AV_NOPTS_VALUE) summary.durationSeconds = format->duration / double(AV_TIME_BASE);
    int video = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            ++summary.videoStreams;
            if (video < 0) video = static_cast<int>(i);
        }
    }
    if (video < 0) {
        avformat_close_input(&format);
        return summary;
    }
    AVStream* stream = format->streams[video];
    summary.codec = avcodec_get_name(stream->codecpar->codec_id);
    summary.width = stream->codecpar->width;
    summary.height = stream->codecpar->height;
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, stream->codecpar);
    avcodec_open2(decoder, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* scaler = nullptr;
    DecodedFrame decoded;
    auto take = [&] {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            decoded.seconds = frame->best_effort_timestamp * av_q2d(stream->time_base);
            summary.frameTimes.push_back(decoded.seconds);
            if (onFrame) {
                decoded.width = frame->width;
                decoded.height = frame->height;
                // libswscale's vector code writes a little past the last pixel of packed output.
                decoded.rgb.resize(static_cast<std::size_t>(frame->width) * frame->height * 3 + 64);
                scaler = sws_getCachedContext(scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                              frame->width, frame->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr,
                                              nullptr);
                std::uint8_t* planes[1] = {decoded.rgb.data()};
                const int strides[1] = {frame->width * 3};
                sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
                onFrame(decoded);
            }
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == video && avcodec_send_packet(decoder, packet) == 0) take();
        av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    take();
    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return summary;
}

}  // namespace kg::test
