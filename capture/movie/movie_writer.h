#pragma once
// The movie file: a fragmented MP4 written through libavformat.
//
// Crash safety: the file starts with an empty index and carries its samples in short
// self-describing fragments, each flushed to the file as soon as it is complete, so a process
// killed mid-recording (SIGKILL, power loss) leaves a file that plays up to its last finished
// fragment without repair. Fragments are cut at every keyframe and at least every half second
// of media time. After a write failure (a full disk) nothing more is written and the file is
// cut back to its last whole fragment, so it still plays without a decoding error.
//
// Threads: set-up (constructor, addStream, open) and close() belong to the thread that owns the
// recording; writePacket() may be called from any thread while the writer is open.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "capture/encoding/av_handles.h"
#include "capture/movie/output_file.h"
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

    // Called once, after the report, on the thread that met the first write failure; the
    // recording cannot go on. Only before open().
    void onFailure(std::function<void()> handler) { onFailure_ = std::move(handler); }

    // Creates (see OutputFile: what is refused, the lock) and empties the file, then writes the
    // header. Throws CaptureError "cannot create <path>: <reason>".
    void open();

    // Writes one encoded packet whose timestamps are in `encoderTimeBase`. Any thread;
    // serialised and interleaved inside. Returns false after a write failure (the failure is
    // reported once as {"error": "recording failed: <reason>"}); the file then ends with its
    // last whole fragment. Packets given before open() or after close() are dropped (false).
    bool writePacket(AVPacket& packet, int streamIndex, AVRational encoderTimeBase);

    // Writes what is still buffered and the trailer. Idempotent. A failure here is handled
    // like a write failure. The file stays open and locked until the writer is destroyed, so
    // that it can be measured before another recording may take it.
    void close();

    [[nodiscard]] const std::string& path() const { return path_; }

private:
    struct AvioContextDeleter {
        void operator()(AVIOContext* io) const;
    };
    using AvioContextPtr = std::unique_ptr<AVIOContext, AvioContextDeleter>;

    // Caller holds mutex_. Cuts the file back and reports; returns true the first time.
    bool fail(int code);
    void releaseIo();  // caller holds mutex_

    std::string path_;
    RecordingDelegate& delegate_;
    std::function<void()> onFailure_;
    std::mutex mutex_;
    OutputFile file_;
    AvioContextPtr io_;  // writes to file_; the format context borrows it
    AvOutputContextPtr format_;
    bool open_ = false;
    bool failed_ = false;
};

}  // namespace kg::capture
