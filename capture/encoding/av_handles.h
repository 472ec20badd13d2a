#pragma once
// Owning types for FFmpeg objects: each released exactly once by its own free function.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace kg::capture {

struct AvCodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct AvFrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct AvPacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsContextDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
// An input (demuxing) context, closed with its file.
struct AvInputContextDeleter {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
// An output (muxing) context: its file is closed first, then the context freed.
struct AvOutputContextDeleter {
    void operator()(AVFormatContext* f) const {
        if (f->pb && !(f->oformat->flags & AVFMT_NOFILE)) avio_closep(&f->pb);
        avformat_free_context(f);
    }
};

using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextDeleter>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using AvInputContextPtr = std::unique_ptr<AVFormatContext, AvInputContextDeleter>;
using AvOutputContextPtr = std::unique_ptr<AVFormatContext, AvOutputContextDeleter>;

// The text of an FFmpeg error code ("No space left on device", "File too large", ...).
[[nodiscard]] inline std::string avErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// FFmpeg's own log goes nowhere: every failure reaches the caller as a result line instead.
// Idempotent, any thread.
void silenceFfmpegLog();

}  // namespace kg::capture
