#pragma once
// The movie file: a fragmented MP4 written through libavformat.
//
// Crash safety: the file starts with an empty index and carries its samples in short
// self-describing fragments, each flushed to the file as soon as it is complete, so a process
// killed mid-recording (SIGKILL, power loss) leaves a file that plays up to its last finished
// fragment without repair. Fragments are cut at every keyframe and at least every half second
// of media time.
//
// Threads: set-up (constructor, addStream, open) and close() belong to the thread that owns the
// recording; writePacket() may be called from any thread while the writer is open.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <mutex>
#include <string>

#include "capture/encoding/av_handles.h"
#include "capture/recording_delegate.h"

namespace kg::capture {

class MovieWriter {
public:
    // Prepares an MP4 for `path` (relative to the working directory when not absolute); the
    // file itself is created by open(). `delegate` receives the report of a write failure and
    // must outlive the writer.
    MovieWriter(std::string path, RecordingDelegate& delegate);
    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    // Adds a stream encoded by `encoder` (codec parameters and time base copied). Only before
    // open(). Returns the stream index.
    int addStream(const AVCodecContext& encoder);

    // Creates the file and writes the header. Throws CaptureError "cannot create <path>:
    // <reason>".
    void open();

    // Writes one encoded packet whose timestamps are in `encoderTimeBase`. Any thread;
    // serialised and interleaved inside. Returns false after a write failure (the failure is
    // reported once as {"error": "recording failed: <reason>"}); everything written before it
    // stays playable. Packets given before open() or after close() are dropped (false).
    bool writePacket(AVPacket& packet, int streamIndex, AVRational encoderTimeBase);

    // Writes what is still buffered and the trailer, then closes the file. Idempotent. A
    // failure here is reported like a write failure; the file keeps what reached it.
    void close();

    [[nodiscard]] const std::string& path() const { return path_; }

private:
    void reportFailure(int code);  // caller holds mutex_

    std::string path_;
    RecordingDelegate& delegate_;
    std::mutex mutex_;
    AvOutputContextPtr format_;
    bool open_ = false;
    bool failed_ = false;
};

}  // namespace kg::capture
