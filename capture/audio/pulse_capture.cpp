#include "capture/audio/pulse_capture.h"

#include <pulse/error.h>
#include <pulse/rtclock.h>
#include <pulse/timeval.h>

#include <algorithm>

#include "capture/audio/chunk_stamp.h"
#include "capture/monotonic_clock.h"
#include "capture/audio/sample_clock.h"

namespace kg::capture::audio {
namespace {

// Small fragments keep the sound close behind real time and make the server ask its
// devices for a short latency (a monitor's latency request reaches its output device).
constexpr std::uint32_t kFragmentFrames = kSampleRate / 100;  // 10 ms
constexpr std::size_t kBytesPerFrame = sizeof(float) * kChannels;

std::string contextError(pa_context* context) { return pa_strerror(pa_context_errno(context)); }

}  // namespace

PulseCapture::PulseCapture(const std::vector<SourceRole>& roles, ChunkHandler onChunk, LossHandler onLoss,
                           std::chrono::milliseconds timeout)
    : onChunk_(std::move(onChunk)), onLoss_(std::move(onLoss)) {
    for (std::size_t i = 0; i < roles.size(); ++i) {
        auto source = std::make_unique<Source>();
        source->owner = this;
        source->index = i;
        source->role = roles[i];
        sources_.push_back(std::move(source));
    }
    try {
        open(timeout);
    } catch (...) {
        stop();
        throw;
    }
}

PulseCapture::~PulseCapture() { stop(); }

void PulseCapture::open(std::chrono::milliseconds timeout) {
    loop_.reset(pa_threaded_mainloop_new());
    if (!loop_) throw SoundUnavailable("cannot create the sound server main loop");
    context_.reset(pa_context_new(pa_threaded_mainloop_get_api(loop_.get()), "kestrelgrain-capture"));
    if (!context_) throw SoundUnavailable("cannot create a sound server context");
    pa_context_set_state_callback(context_.get(), &PulseCapture::onContextState, this);
    if (pa_threaded_mainloop_start(loop_.get()) < 0) throw SoundUnavailable("cannot start the sound server main loop");
    threadStarted_ = true;

    MainloopLock lock(loop_.get());
    // One deadline for the whole set-up: a server that accepts but never answers must not
    // hold up the recording.
    const pa_usec_t deadline = pa_rtclock_now() + static_cast<pa_usec_t>(timeout.count()) * PA_USEC_PER_MSEC;
    pa_time_event* timer = pa_context_rttime_new(context_.get(), deadline, &PulseCapture::onTimeout, this);
    struct TimerGuard {
        pa_mainloop_api* api;
        pa_time_event* timer;
        ~TimerGuard() {
            if (timer) api->time_free(timer);
        }
    } guard{pa_threaded_mainloop_get_api(loop_.get()), timer};

    if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        throw SoundUnavailable("cannot reach the sound server: " + contextError(context_.get()));
    }
    waitUntil([this] {
        const pa_context_state_t state = pa_context_get_state(context_.get());
        if (!PA_CONTEXT_IS_GOOD(state)) throw SoundUnavailable("cannot reach the sound server: " + contextError(context_.get()));
        return state == PA_CONTEXT_READY;
    }, "the sound server");

    // Which devices the defaults are, and how late their outputs play, before any stream.
    askDefaults();
    waitUntil([this] {
        if (!setupError_.empty()) throw SoundUnavailable(setupError_);
        return std::all_of(sources_.begin(), sources_.end(),
                           [](const auto& source) { return !source->device.empty() && source->timingKnown; });
    }, "the sound server");

    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kSampleRate, kChannels};
    pa_channel_map map;
    pa_channel_map_init_stereo(&map);
    for (auto& source : sources_) {
        const std::string& name = source->device;
        source->stream.reset(pa_stream_new(context_.get(), "kestrelgrain-capture", &spec, &map));
        if (!source->stream) throw SoundUnavailable("cannot record from " + name + ": " + contextError(context_.get()));
        pa_stream_set_state_callback(source->stream.get(), &PulseCapture::onStreamState, source.get());
        pa_stream_set_read_callback(source->stream.get(), &PulseCapture::onRead, source.get());
        pa_stream_set_moved_callback(source->stream.get(), &PulseCapture::onMoved, source.get());
        pa_stream_set_suspended_callback(source->stream.get(), &PulseCapture::onPaused, source.get());
        pa_stream_set_overflow_callback(source->stream.get(), &PulseCapture::onPaused, source.get());
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.fragsize = kFragmentFrames * kBytesPerFrame;
        attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_record(source->stream.get(), name.c_str(), &attr, flags) < 0) {
            throw SoundUnavailable("cannot record from " + name + ": " + contextError(context_.get()));
        }
    }
    for (auto& source : sources_) {
        pa_stream* stream = source->stream.get();
        const std::string name = source->device;
        waitUntil([this, stream, &name] {
            const pa_stream_state_t state = pa_stream_get_state(stream);
            if (!PA_STREAM_IS_GOOD(state)) throw SoundUnavailable("cannot record from " + name + ": " + contextError(context_.get()));
            return state == PA_STREAM_READY;
        }, name);
    }
    // Now that the streams ask for a short latency, the outputs' latencies again: an output
    // still far ahead of that is made to drop its lead before the recording begins.
    for (auto& source : sources_) {
        if (source->monitoredSink == PA_INVALID_INDEX) continue;
        source->timingKnown = false;
        source->newToSink = true;
        askSinkTiming(*source);
    }
    waitUntil([this] {
        return std::all_of(sources_.begin(), sources_.end(), [](const auto& source) { return source->timingKnown; });
    }, "the sound server");
    // From here on a new default output or input moves the stream there.
    pa_context_set_subscribe_callback(context_.get(), &PulseCapture::onServerEvent, this);
    if (pa_operation* op = pa_context_subscribe(context_.get(), PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr)) pa_operation_unref(op);
    scheduleRefresh();
    running_ = true;
}

// With the main loop's lock held; the state callbacks signal the loop on every change.
void PulseCapture::waitUntil(const std::function<bool()>& done, const std::string& what) {
    while (!done()) {
        if (timedOut_) throw SoundUnavailable(what + " did not answer in time");
        pa_threaded_mainloop_wait(loop_.get());
    }
}

void PulseCapture::stop() {
    if (!loop_) return;
    if (threadStarted_) {
        {
            MainloopLock lock(loop_.get());
            if (stopped_) return;
            stopped_ = true;
            running_ = false;
            if (refresh_) {
                pa_threaded_mainloop_get_api(loop_.get())->time_free(refresh_);
                refresh_ = nullptr;
            }
            for (auto& source : sources_) {
                if (!source->stream) continue;
                pa_stream_set_read_callback(source->stream.get(), nullptr, nullptr);
                pa_stream_set_state_callback(source->stream.get(), nullptr, nullptr);
                pa_stream_set_moved_callback(source->stream.get(), nullptr, nullptr);
                pa_stream_set_suspended_callback(source->stream.get(), nullptr, nullptr);
                pa_stream_set_overflow_callback(source->stream.get(), nullptr, nullptr);
                if (PA_STREAM_IS_GOOD(pa_stream_get_state(source->stream.get()))) pa_stream_disconnect(source->stream.get());
            }
            if (context_) {
                pa_context_set_state_callback(context_.get(), nullptr, nullptr);
                pa_context_set_subscribe_callback(context_.get(), nullptr, nullptr);
                pa_context_disconnect(context_.get());
            }
        }
        pa_threaded_mainloop_stop(loop_.get());
        threadStarted_ = false;
    }
    stopped_ = true;
    // The loop thread is gone: release streams before the context, the context before the loop.
    for (auto& source : sources_) source->stream.reset();
    context_.reset();
}

void PulseCapture::reportLoss(Source& source, const std::string& reason) {
    if (source.lost || !running_) return;
    source.lost = true;
    try {
        if (onLoss_) onLoss_(source.index, reason);
    } catch (...) {
        // Nothing may unwind into libpulse; the loss itself is already recorded.
    }
}

void PulseCapture::onContextState(pa_context* context, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        const std::string reason = "lost the sound server: " + contextError(context);
        for (auto& source : capture->sources_) capture->reportLoss(*source, reason);
    }
    pa_threaded_mainloop_signal(capture->loop_.get(), 0);
}

void PulseCapture::onStreamState(pa_stream* stream, void* userdata) {
    auto* source = static_cast<Source*>(userdata);
    PulseCapture* capture = source->owner;
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        capture->reportLoss(*source, "lost " + source->device + ": " + contextError(capture->context_.get()));
    }
    pa_threaded_mainloop_signal(capture->loop_.get(), 0);
}

void PulseCapture::onRead(pa_stream* stream, std::size_t, void* userdata) {
    auto* source = static_cast<Source*>(userdata);
    PulseCapture* capture = source->owner;
    for (;;) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) return;
        const pa_timing_info* timing = pa_stream_get_timing_info(stream);
        ReadTiming read;
        read.arrivedNs = monotonicNowNs();
        read.queuedFrames = static_cast<std::int64_t>(pa_stream_readable_size(stream) / kBytesPerFrame);
        read.sourceDelayNs = timing ? static_cast<std::int64_t>(timing->source_usec + timing->transport_usec) * 1000 : 0;
        read.sinkLatencyNs = source->sinkLatencyNs;
        read.sinkConfiguredNs = source->sinkConfiguredNs;
        const auto frames = static_cast<std::int64_t>(bytes / kBytesPerFrame);
        if (!data) source->stamps.skip(frames);
        const std::int64_t firstFrameNs = data ? source->stamps.stamp(firstFrameHeardNs(read), frames) : 0;
        // A hole (no data) is left to the timeline, which fills gaps with silence.
        if (data && capture->onChunk_) {
            const std::span<const float> samples(static_cast<const float*>(data), bytes / kBytesPerFrame * kChannels);
            try {
                capture->onChunk_(source->index, samples, firstFrameNs);
            } catch (...) {
                // Out of memory: this chunk is lost and the timeline fills it with silence.
            }
        }
        pa_stream_drop(stream);
    }
}

void PulseCapture::onPaused(pa_stream*, void* userdata) { static_cast<Source*>(userdata)->stamps.restart(); }

void PulseCapture::onTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    capture->timedOut_ = true;
    pa_threaded_mainloop_signal(capture->loop_.get(), 0);
}

}  // namespace kg::capture::audio
