#include "capture/movie/movie_writer.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <cerrno>

#include "capture/capture_error.h"

namespace kg::capture {

void silenceFfmpegLog() { av_log_set_level(AV_LOG_QUIET); }

MovieWriter::MovieWriter(std::string path, RecordingDelegate& delegate)
    : path_(std::move(path)), delegate_(delegate) {
    silenceFfmpegLog();
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "mp4", path_.c_str()) < 0 || !raw)
        throw CaptureError("cannot create " + path_ + ": the MP4 writer is unavailable");
    format_.reset(raw);
}

MovieWriter::~MovieWriter() { close(); }

int MovieWriter::addStream(const AVCodecContext& encoder) {
    std::lock_guard lock(mutex_);
    if (open_) throw CaptureError("internal error: a stream was added after the movie header");
    AVStream* stream = avformat_new_stream(format_.get(), nullptr);
    if (!stream) throw CaptureError("out of memory");
    if (avcodec_parameters_from_context(stream->codecpar, &encoder) < 0) throw CaptureError("out of memory");
    stream->time_base = encoder.time_base;
    return stream->index;
}

void MovieWriter::open() {
    std::lock_guard lock(mutex_);
    if (open_) return;
    const int rc = avio_open(&format_->pb, path_.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) throw CaptureError("cannot create " + path_ + ": " + avErrorText(rc));
    // Every packet reaches the file system as soon as the muxer lets go of it, and audio is
    // never allowed to hold video back for long: both bound what a crash can take.
    format_->flush_packets = 1;
    format_->max_interleave_delta = 1'000'000;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+frag_keyframe+empty_moov+default_base_moof", 0);
    av_dict_set(&options, "frag_duration", "500000", 0);
    const int header = avformat_write_header(format_.get(), &options);
    av_dict_free(&options);
    if (header < 0) {
        avio_closep(&format_->pb);
        throw CaptureError("cannot create " + path_ + ": " + avErrorText(header));
    }
    open_ = true;
}

void MovieWriter::reportFailure(int code) {
    failed_ = true;
    delegate_.recordingDidFail(avErrorText(code));
}

bool MovieWriter::writePacket(AVPacket& packet, int streamIndex, AVRational encoderTimeBase) {
    std::lock_guard lock(mutex_);
    if (!open_ || failed_) return false;
    if (streamIndex < 0 || streamIndex >= static_cast<int>(format_->nb_streams)) return false;
    packet.stream_index = streamIndex;
    av_packet_rescale_ts(&packet, encoderTimeBase, format_->streams[streamIndex]->time_base);
    int rc = av_interleaved_write_frame(format_.get(), &packet);
    if (rc >= 0 && format_->pb->error < 0) rc = format_->pb->error;
    if (rc < 0) {
        reportFailure(rc);
        return false;
    }
    return true;
}

void MovieWriter::close() {
    std::lock_guard lock(mutex_);
    if (!open_) return;
    open_ = false;
    if (!failed_) {
        int rc = av_write_trailer(format_.get());
        if (rc >= 0 && format_->pb->error < 0) rc = format_->pb->error;
        if (rc < 0) reportFailure(rc);
    }
    avio_closep(&format_->pb);
}

}  // namespace kg::capture
