#include "capture/encoding/video_encoder.h"

extern "C" {
#include <libavutil/opt.h>
}

#include "capture/capture_error.h"
#include "capture/movie/movie_writer.h"

namespace kg::capture {

namespace {

// Screen content at 1920 x 1080 and 30 frames per second must stay real-time on two cores
// next to the grabbing: the fastest preset, no frame delay (so packets leave the encoder with
// their frame, which keeps what a crash can take short), and a quality target rather than a
// bit rate, since a still screen needs almost nothing and scrolling text needs a lot.
constexpr const char* kPreset = "ultrafast";
constexpr const char* kTune = "zerolatency";
constexpr const char* kCrf = "23";
// A keyframe at least every two seconds, counted in frames at the full rate; forced by time
// when frames are sparse (see FramePacer).
constexpr int kGopFrames = 60;

}  // namespace

VideoEncoder::VideoEncoder(int width, int height) {
    silenceFfmpegLog();
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) throw CaptureError("the H.264 encoder libx264 is not available");
    codec_.reset(avcodec_alloc_context3(codec));
    if (!codec_) throw CaptureError("out of memory");
    codec_->width = width;
    codec_->height = height;
    codec_->pix_fmt = AV_PIX_FMT_YUV420P;
    codec_->time_base = {1, kTimeBase};
    codec_->framerate = {30, 1};
    codec_->gop_size = kGopFrames;
    codec_->max_b_frames = 0;
    codec_->colorspace = AVCOL_SPC_SMPTE170M;  // what the BGRX to YUV conversion uses
    codec_->color_range = AVCOL_RANGE_MPEG;
    codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // MP4 keeps the parameter sets in its index
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", kPreset, 0);
    av_dict_set(&options, "tune", kTune, 0);
    av_dict_set(&options, "crf", kCrf, 0);
    const int rc = avcodec_open2(codec_.get(), codec, &options);
    av_dict_free(&options);
    if (rc < 0)
        throw CaptureError("cannot start the H.264 encoder for " + std::to_string(width) + " x " +
                           std::to_string(height) + ": " + avErrorText(rc));
    held_.reset(av_packet_alloc());
    received_.reset(av_packet_alloc());
    if (!held_ || !received_) throw CaptureError("out of memory");
}

VideoEncoder::~VideoEncoder() {
    queue_.close();
    if (thread_.joinable()) thread_.join();
}

void VideoEncoder::start(MovieWriter& writer, int streamIndex) {
    writer_ = &writer;
    streamIndex_ = streamIndex;
    thread_ = std::thread([this] { run(); });
}

void VideoEncoder::submit(AvFramePtr frame, bool keyframe) { queue_.push(Job{std::move(frame), keyframe}); }

void VideoEncoder::finish(std::int64_t endPts) {
    if (!thread_.joinable()) return;
    endPts_ = endPts;
    queue_.close();
    thread_.join();
}

void VideoEncoder::emit(AVPacket* next) {
    if (held_->data) {
        if (next) held_->duration = std::max<std::int64_t>(1, next->pts - held_->pts);
        else held_->duration = std::max<std::int64_t>(1, endPts_ - held_->pts);
        if (writing_) writing_ = writer_->writePacket(*held_, streamIndex_, codec_->time_base);
        av_packet_unref(held_.get());
    }
    if (next) av_packet_move_ref(held_.get(), next);
}

void VideoEncoder::drainPackets() {
    while (avcodec_receive_packet(codec_.get(), received_.get()) == 0) emit(received_.get());
}

void VideoEncoder::run() {
    // Nothing may escape the encoder thread. Should anything be thrown (memory running out),
    // the rest of the picture is lost, and the closed queue keeps the capture thread from
    // waiting for an encoder that is gone.
    try {
        encode();
    } catch (...) {
    }
    queue_.close();
}

void VideoEncoder::encode() {
    while (auto job = queue_.pop()) {
        // After a write failure nothing more can reach the file; frames are dropped unencoded.
        if (!writing_) continue;
        job->frame->pict_type = job->keyframe ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(codec_.get(), job->frame.get()) == 0) drainPackets();
    }
    avcodec_send_frame(codec_.get(), nullptr);
    drainPackets();
    emit(nullptr);
}

}  // namespace kg::capture
