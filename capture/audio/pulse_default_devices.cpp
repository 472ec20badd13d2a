// PulseCapture: which device each role records, following the user's choice of default
// output and input, and the latencies of the outputs that monitors listen to.
//
// Every function here runs with the main loop's lock held: on the loop thread (handlers), or
// on the constructor's thread while it waits. The handlers' userdata stays valid until stop()
// has ended the loop thread, so a reply still in flight never reaches a freed source.
#include <pulse/introspect.h>
#include <pulse/rtclock.h>
#include <pulse/subscribe.h>
#include <pulse/timeval.h>

#include <algorithm>

#include "capture/audio/pulse_capture.h"

namespace kg::capture::audio {
namespace {

// How often the monitored outputs' latencies are asked for again: they change when clients
// come and go.
constexpr pa_usec_t kRefreshUs = 500 * PA_USEC_PER_MSEC;
// A virtual output whose reported latency exceeds its configured one by more than this is
// playing out a lead it rendered before a client asked for less.
constexpr pa_usec_t kStaleLeadUs = 50 * PA_USEC_PER_MSEC;

void release(pa_operation* operation) {
    if (operation) pa_operation_unref(operation);
}

}  // namespace

void PulseCapture::askDefaults() {
    release(pa_context_get_server_info(context_.get(), &PulseCapture::onServerInfo, this));
}

// Records `device` from now on: moves a running stream there, and learns which output it
// monitors, if any.
void PulseCapture::follow(Source& source, const std::string& device) {
    if (source.stream && device != source.device) {
        release(pa_context_move_source_output_by_name(context_.get(), pa_stream_get_index(source.stream.get()),
                                                      device.c_str(), nullptr, nullptr));
    }
    source.device = device;
    release(pa_context_get_source_info_by_name(context_.get(), device.c_str(), &PulseCapture::onSourceInfo, &source));
}

void PulseCapture::askSinkTiming(Source& source) {
    if (source.monitoredSink == PA_INVALID_INDEX) return;
    release(pa_context_get_sink_info_by_index(context_.get(), source.monitoredSink, &PulseCapture::onSinkTiming, &source));
}

void PulseCapture::scheduleRefresh() {
    refresh_ = pa_context_rttime_new(context_.get(), pa_rtclock_now() + kRefreshUs, &PulseCapture::onRefresh, this);
}

void PulseCapture::onRefresh(pa_mainloop_api*, pa_time_event* event, const struct timeval*, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    for (auto& source : capture->sources_) capture->askSinkTiming(*source);
    pa_context_rttime_restart(capture->context_.get(), event, pa_rtclock_now() + kRefreshUs);
}

void PulseCapture::onServerEvent(pa_context*, pa_subscription_event_type_t type, std::uint32_t, void* self) {
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SERVER) {
        static_cast<PulseCapture*>(self)->askDefaults();
    }
}

void PulseCapture::onServerInfo(pa_context* context, const pa_server_info* info, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    const auto fail = [capture](const std::string& why) {
        if (!capture->running_ && capture->setupError_.empty()) capture->setupError_ = why;
    };
    if (!info) {
        fail("the sound server did not name its default devices");
    } else {
        for (auto& source : capture->sources_) {
            if (source->role == SourceRole::DefaultOutput) {
                if (info->default_sink_name && *info->default_sink_name) {
                    release(pa_context_get_sink_info_by_name(context, info->default_sink_name, &PulseCapture::onDefaultSinkInfo,
                                                             source.get()));
                } else {
                    fail("the sound server has no output");
                }
            } else if (info->default_source_name && *info->default_source_name) {
                capture->follow(*source, info->default_source_name);
            } else {
                fail("the sound server has no input");
            }
        }
    }
    pa_threaded_mainloop_signal(capture->loop_.get(), 0);
}

void PulseCapture::onDefaultSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* source = static_cast<Source*>(userdata);
    PulseCapture* capture = source->owner;
    if (info && info->monitor_source_name) {
        capture->follow(*source, info->monitor_source_name);
    } else if (eol < 0 && !capture->running_ && capture->setupError_.empty()) {
        capture->setupError_ = "cannot find the default output";
    }
    pa_threaded_mainloop_signal(capture->loop_.get(), 0);
}

void PulseCapture::onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* source = static_cast<Source*>(userdata);
    PulseCapture* capture = source->owner;
    if (info) {
        if (source->monitoredSink != info->monitor_of_sink) {
            source->recentSinkLatencyNs.fill(0);
            source->newToSink = true;
        }
        source->monitoredSink = info->monitor_of_sink;
        if (source->monitoredSink == PA_INVALID_INDEX) {
            // An input: what it delivers was heard when it was captured.
            source->sinkLatencyNs = source->sinkConfiguredNs = 0;
            source->timingKnown = true;
        } else {
            capture->askSinkTiming(*source);
        }
    } else if (eol < 0 && !capture->running_ && capture->setupError_.empty()) {
        capture->setupError_ = "cannot record from " + source->device + ": no such source";
    }
    pa_threaded_mainloop_signal(capture->loop_.get(), 0);
}

void PulseCapture::onSinkTiming(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* source = static_cast<Source*>(userdata);
    if (info && info->index == source->monitoredSink) {
        source->recentSinkLatencyNs[source->nextSample++ % source->recentSinkLatencyNs.size()] =
            static_cast<std::int64_t>(info->latency) * 1000;
        source->sinkLatencyNs = *std::max_element(source->recentSinkLatencyNs.begin(), source->recentSinkLatencyNs.end());
        source->sinkConfiguredNs = static_cast<std::int64_t>(info->configured_latency) * 1000;
        source->timingKnown = true;
        if (source->newToSink && source->stream) source->owner->dropStaleLead(*info);
        source->newToSink = false;
    } else if (eol < 0) {
        source->timingKnown = true;  // the output is gone: the stream's loss or move follows
    }
    pa_threaded_mainloop_signal(source->owner->loop_.get(), 0);
}

// A virtual output (PulseAudio's null sink) renders as far ahead as its slowest-asking client
// allows, up to 2 s, and keeps that lead after a monitor asks for 10 ms: it renders nothing
// more until real time has caught up. What it rendered before we connected never reaches the
// monitor, although its time to "play" falls in our recording, and everything new waits behind
// it. Suspending and resuming it once discards that lead, which no device would ever play, and
// from then on it renders just in time. Devices and network outputs are never touched: their
// latency is real. Only right after a stream connected to the output or moved there: later,
// other recordings and players on that output would hear the restart.
void PulseCapture::dropStaleLead(const pa_sink_info& sink) {
    if (sink.flags & (PA_SINK_HARDWARE | PA_SINK_NETWORK)) return;
    if (sink.latency <= sink.configured_latency + kStaleLeadUs) return;
    release(pa_context_suspend_sink_by_index(context_.get(), sink.index, 1, nullptr, nullptr));
    release(pa_context_suspend_sink_by_index(context_.get(), sink.index, 0, nullptr, nullptr));
}

// The server moved the stream (its device went away, or another client moved it, or our own
// move took effect): record what it records now.
void PulseCapture::onMoved(pa_stream* stream, void* userdata) {
    auto* source = static_cast<Source*>(userdata);
    source->stamps.restart();
    if (const char* name = pa_stream_get_device_name(stream)) {
        source->device = name;
        release(pa_context_get_source_info_by_name(source->owner->context_.get(), name, &PulseCapture::onSourceInfo, source));
    }
}

}  // namespace kg::capture::audio
