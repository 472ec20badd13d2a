#include "capture/movie/movie_writer.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "capture/capture_error.h"
#include "capture/movie/fragment_scan.h"

namespace kg::capture {
namespace {

// libavformat 61 passes the bytes to write as const.
#if defined(FF_API_AVIO_WRITE_NONCONST) && !FF_API_AVIO_WRITE_NONCONST
using WriteBytes = const std::uint8_t*;
#else
using WriteBytes = std::uint8_t*;
#endif

constexpr int kIoBufferBytes = 64 * 1024;

// All of it or an error: a short write followed by a full disk reports the full disk.
int writeAll(void* opaque, WriteBytes bytes, int count) {
    const int fd = static_cast<const OutputFile*>(opaque)->fd();
    int done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, bytes + done, static_cast<std::size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return AVERROR(errno);
        if (n == 0) return AVERROR(ENOSPC);
        done += static_cast<int>(n);
    }
    return count;
}

std::int64_t seekTo(void* opaque, std::int64_t offset, int whence) {
    const int fd = static_cast<const OutputFile*>(opaque)->fd();
    if (whence == AVSEEK_SIZE) {
        struct stat st {};
        return ::fstat(fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<std::int64_t>(at);
}

}  // namespace

void silenceFfmpegLog() { av_log_set_level(AV_LOG_QUIET); }

void MovieWriter::AvioContextDeleter::operator()(AVIOContext* io) const {
    av_freep(&io->buffer);
    avio_context_free(&io);
}

MovieWriter::MovieWriter(std::string path, RecordingDelegate& delegate)
    : path_(std::move(path)), delegate_(delegate) {
    silenceFfmpegLog();
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "mp4", path_.c_str()) < 0 || !raw)
        throw CaptureError("cannot create " + path_ + ": the MP4 writer is unavailable");
    format_.reset(raw);
}

MovieWriter::~MovieWriter() {
    close();
    std::lock_guard lock(mutex_);
    releaseIo();
}

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
    if (open_ || file_) return;
    file_ = OutputFile::create(path_);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (buffer) io_.reset(avio_alloc_context(buffer, kIoBufferBytes, 1, &file_, nullptr, writeAll, seekTo));
    if (!io_) {
        av_free(buffer);
        throw CaptureError("out of memory");
    }
    format_->pb = io_.get();
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    // Every packet reaches the file system as soon as the muxer lets go of it, and audio is
    // never allowed to hold video back for long: both bound what a crash can take.
    format_->flush_packets = 1;
    format_->max_interleave_delta = 1'000'000;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+frag_keyframe+empty_moov+default_base_moof", 0);
    av_dict_set(&options, "frag_duration", "500000", 0);
    int header = avformat_write_header(format_.get(), &options);
    av_dict_free(&options);
    if (header >= 0) {
        avio_flush(format_->pb);
        if (format_->pb->error < 0) header = format_->pb->error;
    }
    if (header < 0) {
        releaseIo();
        file_.cutTo(0);
        throw CaptureError("cannot create " + path_ + ": " + avErrorText(header));
    }
    open_ = true;
}

void MovieWriter::releaseIo() {
    if (format_) format_->pb = nullptr;
    io_.reset();
}

bool MovieWriter::fail(int code) {
    if (failed_) return false;
    failed_ = true;
    // What the muxer still buffers is dropped with the I/O context; what reached the file ends
    // with a torn fragment, which goes.
    releaseIo();
    file_.cutTo(endOfLastWholeFragment(file_.fd()));
    delegate_.recordingDidFail(avErrorText(code));
    return true;
}

bool MovieWriter::writePacket(AVPacket& packet, int streamIndex, AVRational encoderTimeBase) {
    bool firstFailure = false;
    {
        std::lock_guard lock(mutex_);
        if (!open_ || failed_) return false;
        if (streamIndex < 0 || streamIndex >= static_cast<int>(format_->nb_streams)) return false;
        packet.stream_index = streamIndex;
        av_packet_rescale_ts(&packet, encoderTimeBase, format_->streams[streamIndex]->time_base);
        int rc = av_interleaved_write_frame(format_.get(), &packet);
        if (rc >= 0 && format_->pb->error < 0) rc = format_->pb->error;
        if (rc >= 0) return true;
        firstFailure = fail(rc);
    }
    if (firstFailure && onFailure_) onFailure_();
    return false;
}

void MovieWriter::close() {
    bool firstFailure = false;
    {
        std::lock_guard lock(mutex_);
        if (!open_) return;
        open_ = false;
        if (failed_) return;
        int rc = av_write_trailer(format_.get());
        if (rc >= 0) avio_flush(format_->pb);
        if (rc >= 0 && format_->pb->error < 0) rc = format_->pb->error;
        if (rc < 0) firstFailure = fail(rc);
        releaseIo();
    }
    if (firstFailure && onFailure_) onFailure_();
}

}  // namespace kg::capture
