#pragma once
// Recording from sound server sources through libpulse (PulseAudio, or PipeWire's PulseAudio
// service): float32 stereo at 48000 Hz, each chunk stamped with the CLOCK_MONOTONIC time at
// which its first frame is heard (see chunk_stamp.h).
//
// Sources are named by role, not by the server's special names: "@DEFAULT_MONITOR@" is the
// monitor of the default output on PulseAudio but the default source on PipeWire's service.
// So the server is asked for its default output and input, and each stream records the
// device by name; when the user picks another default, the stream is moved to it.
//
// Threads: the constructor and stop() run on the caller's thread (not on a handler). The
// handlers run on libpulse's main loop thread; they must be quick and must not call back
// into this object.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "capture/audio/chunk_stamp.h"
#include "capture/audio/pulse_handles.h"

namespace kg::capture::audio {

enum class SourceRole {
    DefaultOutput,  // the monitor of the default output: what the computer plays
    DefaultInput,   // the default input: the microphone
};

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

    // Connects and starts recording from the device of each role; chunks may arrive before
    // the constructor returns. Gives up after `timeout` and throws SoundUnavailable.
    PulseCapture(const std::vector<SourceRole>& roles, ChunkHandler onChunk, LossHandler onLoss,
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
        SourceRole role = SourceRole::DefaultOutput;
        std::string device;                               // the source recorded, or to record
        std::uint32_t monitoredSink = PA_INVALID_INDEX;   // the output `device` monitors, if any
        bool timingKnown = false;                         // the two latencies below are current
        bool newToSink = true;                            // the next timing answer is the first since connecting
        // An output's latency is a sawtooth: largest just after it rendered a block, which is
        // when a monitor's chunk arrives. So the largest of the last few answers is used.
        std::array<std::int64_t, 4> recentSinkLatencyNs{};
        std::size_t nextSample = 0;
        std::int64_t sinkLatencyNs = 0;
        std::int64_t sinkConfiguredNs = 0;
        StampSmoother stamps;
        StreamPtr stream;
        bool lost = false;
    };

    void open(std::chrono::milliseconds timeout);
    void waitUntil(const std::function<bool()>& done, const std::string& what);
    void reportLoss(Source& source, const std::string& reason);
    void askDefaults();
    void follow(Source& source, const std::string& device);
    void askSinkTiming(Source& source);
    void dropStaleLead(const pa_sink_info& sink);
    void scheduleRefresh();
    static void onContextState(pa_context* context, void* self);
    static void onServerEvent(pa_context* context, pa_subscription_event_type_t type, std::uint32_t index, void* self);
    static void onServerInfo(pa_context* context, const pa_server_info* info, void* self);
    static void onDefaultSinkInfo(pa_context* context, const pa_sink_info* info, int eol, void* source);
    static void onSourceInfo(pa_context* context, const pa_source_info* info, int eol, void* source);
    static void onSinkTiming(pa_context* context, const pa_sink_info* info, int eol, void* source);
    static void onStreamState(pa_stream* stream, void* source);
    static void onMoved(pa_stream* stream, void* source);
    static void onPaused(pa_stream* stream, void* source);
    static void onRead(pa_stream* stream, std::size_t bytes, void* source);
    static void onTimeout(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv, void* self);
    static void onRefresh(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv, void* self);

    ChunkHandler onChunk_;
    LossHandler onLoss_;
    ThreadedMainloopPtr loop_;  // declared first: released last
    ContextPtr context_;
    std::vector<std::unique_ptr<Source>> sources_;
    // The fields below are touched only with the main loop's lock held.
    pa_time_event* refresh_ = nullptr;
    std::string setupError_;  // why the devices could not be found, while opening
    bool running_ = false;    // true once every stream is recording; losses count from then on
    bool timedOut_ = false;
    bool stopped_ = false;
    bool threadStarted_ = false;
};

}  // namespace kg::capture::audio
