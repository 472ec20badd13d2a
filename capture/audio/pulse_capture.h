#pragma once
// Recording from sound server sources through libpulse (PulseAudio, or PipeWire's PulseAudio
// service): float32 stereo at 48000 Hz, each chunk stamped with the CLOCK_MONOTONIC time at
// which its first frame was heard, the server's latency taken into account.
//
// Threads: the constructor and stop() run on the caller's thread (not on a handler). The
// handlers run on libpulse's main loop thread; they must be quick and must not call back
// into this object.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "capture/audio/pulse_handles.h"

namespace kg::capture::audio {

// The names of the sources that "system" and "microphone" record from.
inline constexpr const char* kDefaultMonitorSource = "@DEFAULT_MONITOR@";
inline constexpr const char* kDefaultInputSource = "@DEFAULT_SOURCE@";

// No sound server, or a source that cannot be recorded; what() says which and why.
class SoundUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PulseCapture {
public:
    // `interleaved` is only valid during the call.
    using ChunkHandler = std::function<void(std::size_t source, std::span<const float> interleaved, std::int64_t firstFrameNs)>;
    // A source stopped for good (device gone, server gone); called at most once per source.
    using LossHandler = std::function<void(std::size_t source, const std::string& reason)>;

    // Connects and starts recording from each named source; chunks may arrive before the
    // constructor returns. Gives up after `timeout` and throws SoundUnavailable.
    PulseCapture(const std::vector<std::string>& sourceNames, ChunkHandler onChunk, LossHandler onLoss,
                 std::chrono::milliseconds timeout);
    ~PulseCapture();
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    // Ends recording; no handler runs after it returns. Idempotent.
    void stop();

private:
    struct Source {
        PulseCapture* owner = nullptr;
        std::size_t index = 0;
        std::string name;
        StreamPtr stream;
        bool lost = false;
    };

    void open(std::chrono::milliseconds timeout);
    void waitUntil(const std::function<bool()>& done, const std::string& what);
    void reportLoss(Source& source, const std::string& reason);
    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* source);
    static void onRead(pa_stream* stream, std::size_t bytes, void* source);
    static void onTimeout(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv, void* self);

    ChunkHandler onChunk_;
    LossHandler onLoss_;
    ThreadedMainloopPtr loop_;  // declared first: released last
    ContextPtr context_;
    std::vector<std::unique_ptr<Source>> sources_;
    // The fields below are touched only with the main loop's lock held.
    bool running_ = false;   // true once every stream is recording; losses count from then on
    bool timedOut_ = false;
    bool stopped_ = false;
    bool threadStarted_ = false;
};

}  // namespace kg::capture::audio
