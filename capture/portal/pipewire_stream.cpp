#include "capture/portal/pipewire_stream.h"

#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "capture/capture_error.h"
#include "capture/portal/crop_copy.h"
#include "capture/portal/quiet_libraries.h"

namespace kg::capture {

namespace {

constexpr std::int64_t kNegotiationTimeoutSeconds = 5;

// The loop thread's lock, held for a scope.
class LoopLock {
public:
    explicit LoopLock(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
    ~LoopLock() { pw_thread_loop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pw_thread_loop* loop_;
};

const spa_pod* videoFormats(spa_pod_builder& builder) {
    spa_rectangle defaultSize{1920, 1080}, minSize{1, 1}, maxSize{16384, 16384};
    spa_fraction defaultRate{0, 1}, minRate{0, 1}, maxRate{1000, 1};
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &minRate, &maxRate)));
}

// Shared memory only: a buffer we can read without importing it into a GPU.
const spa_pod* sharedMemoryBuffers(spa_pod_builder& builder) {
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
}

}  // namespace

PipeWireStream::PipeWireStream(UniqueFd remote, std::uint32_t nodeId) : nodeId_(nodeId) {
    quietDesktopLibraries();
    loop_.reset(pw_thread_loop_new("kg-screen-cast", nullptr));
    if (!loop_) throw CaptureError("screen capture unavailable: cannot start a PipeWire loop");
    context_.reset(pw_context_new(pw_thread_loop_get_loop(loop_.get()), nullptr, 0));
    if (!context_) throw CaptureError("screen capture unavailable: cannot create a PipeWire context");
    if (!running_.start(loop_.get())) throw CaptureError("screen capture unavailable: cannot start a PipeWire loop");

    static const pw_core_events coreEvents = [] {
        pw_core_events events{};
        events.version = PW_VERSION_CORE_EVENTS;
        events.error = onCoreError;
        return events;
    }();
    // A compositor that stops sharing may only remove the node: the stream then merely pauses.
    static const pw_registry_events registryEvents = [] {
        pw_registry_events events{};
        events.version = PW_VERSION_REGISTRY_EVENTS;
        events.global_remove = onGlobalRemove;
        return events;
    }();
    static const pw_stream_events streamEvents = [] {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = onStateChanged;
        events.param_changed = onParamChanged;
        events.remove_buffer = onRemoveBuffer;
        events.process = onProcess;
        return events;
    }();

    LoopLock lock(loop_.get());
    core_.reset(pw_context_connect_fd(context_.get(), remote.release(), nullptr, 0));
    if (!core_)
        throw CaptureError(std::string("screen capture unavailable: cannot connect to PipeWire (") + std::strerror(errno) +
                           ")");
    pw_core_add_listener(core_.get(), coreListener_.get(), &coreEvents, this);
    registry_.reset(pw_core_get_registry(core_.get(), PW_VERSION_REGISTRY, 0));
    if (!registry_) throw CaptureError("screen capture unavailable: cannot list PipeWire's nodes");
    pw_registry_add_listener(registry_.get(), registryListener_.get(), &registryEvents, this);
    stream_.reset(pw_stream_new(core_.get(), "kestrelgrain-capture",
                                pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                  PW_KEY_MEDIA_ROLE, "Screen", nullptr)));
    if (!stream_) throw CaptureError("screen capture unavailable: cannot create a PipeWire stream");
    pw_stream_add_listener(stream_.get(), streamListener_.get(), &streamEvents, this);

    std::uint8_t space[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(space, sizeof space);
    const spa_pod* params[] = {videoFormats(builder)};
    const int connected = pw_stream_connect(
        stream_.get(), PW_DIRECTION_INPUT, nodeId,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
    if (connected < 0)
        throw CaptureError(std::string("screen capture unavailable: cannot connect the screen-cast stream (") +
                           std::strerror(-connected) + ")");

    // Wait for the format only, never for a first frame: a still screen may send none for
    // seconds.
    for (;;) {
        {
            std::lock_guard guard(mutex_);
            if (failure_) throw CaptureError("screen capture unavailable: " + *failure_);
            if (negotiated_) break;
        }
        if (pw_thread_loop_timed_wait(loop_.get(), kNegotiationTimeoutSeconds) != 0)
            throw CaptureError("screen capture unavailable: the screen-cast stream agreed on no format within " +
                               std::to_string(kNegotiationTimeoutSeconds) + " s");
    }
}

PipeWireStream::~PipeWireStream() = default;

void PipeWireStream::fail(std::string reason) {
    {
        std::lock_guard guard(mutex_);
        if (!failure_) failure_ = std::move(reason);
    }
    pw_thread_loop_signal(loop_.get(), false);
}

void PipeWireStream::onCoreError(void* data, std::uint32_t id, int, int res, const char* message) {
    auto* self = static_cast<PipeWireStream*>(data);
    if (id != PW_ID_CORE) return;
    self->fail(res == -EPIPE ? std::string("the connection to PipeWire was lost")
                             : std::string("PipeWire reported an error: ") + (message ? message : std::strerror(-res)));
}

void PipeWireStream::onGlobalRemove(void* data, std::uint32_t id) {
    auto* self = static_cast<PipeWireStream*>(data);
    if (id == self->nodeId_) self->fail("the compositor ended the screen cast");
}

void PipeWireStream::onStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
    auto* self = static_cast<PipeWireStream*>(data);
    if (state == PW_STREAM_STATE_ERROR) {
        self->fail(std::string("the screen-cast stream failed: ") + (error ? error : "unknown error"));
    } else if (state == PW_STREAM_STATE_UNCONNECTED) {
        self->fail("the compositor ended the screen cast");
    }
}

void PipeWireStream::onParamChanged(void* data, std::uint32_t id, const spa_pod* param) {
    auto* self = static_cast<PipeWireStream*>(data);
    if (id != SPA_PARAM_Format || !param) return;
    spa_video_info_raw info{};
    std::uint32_t mediaType = 0, mediaSubtype = 0;
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
        mediaSubtype != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(param, &info) < 0)
        return;
    {
        std::lock_guard guard(self->mutex_);
        self->width_ = info.size.width;
        self->height_ = info.size.height;
        self->swapRedBlue_ = info.format == SPA_VIDEO_FORMAT_RGBx || info.format == SPA_VIDEO_FORMAT_RGBA;
        self->negotiated_ = true;
    }
    std::uint8_t space[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(space, sizeof space);
    const spa_pod* params[] = {sharedMemoryBuffers(builder)};
    pw_stream_update_params(self->stream_.get(), params, 1);
    pw_thread_loop_signal(self->loop_.get(), false);
}

void PipeWireStream::onRemoveBuffer(void* data, pw_buffer* buffer) {
    auto* self = static_cast<PipeWireStream*>(data);
    std::lock_guard guard(self->mutex_);
    if (self->held_ == buffer) self->held_ = nullptr;
}

void PipeWireStream::onProcess(void* data) {
    auto* self = static_cast<PipeWireStream*>(data);
    pw_stream* stream = self->stream_.get();
    pw_buffer* newest = nullptr;
    while (pw_buffer* buffer = pw_stream_dequeue_buffer(stream)) {
        if (newest) pw_stream_queue_buffer(stream, newest);
        newest = buffer;
    }
    if (!newest) return;
    const spa_data& plane = newest->buffer->datas[0];
    if (newest->buffer->n_datas < 1 || !plane.data || !plane.chunk || plane.chunk->size == 0 ||
        (plane.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED)) {
        pw_stream_queue_buffer(stream, newest);
        return;
    }
    pw_buffer* previous = nullptr;
    {
        std::lock_guard guard(self->mutex_);
        previous = std::exchange(self->held_, newest);
        ++self->generation_;
    }
    if (previous) pw_stream_queue_buffer(stream, previous);
}

std::uint64_t PipeWireStream::copyNewest(const CropFor& cropFor, std::vector<std::uint8_t>& out, PixelRect& crop) {
    std::lock_guard guard(mutex_);
    if (!held_) return 0;
    crop = cropFor(width_, height_);
    const spa_data& plane = held_->buffer->datas[0];
    const std::int64_t stride = plane.chunk->stride > 0 ? plane.chunk->stride : width_ * 4;
    const std::int64_t rows = std::min<std::int64_t>(height_, plane.chunk->size / std::max<std::int64_t>(stride, 1));
    copyCrop(static_cast<const std::uint8_t*>(plane.data) + plane.chunk->offset, stride, width_, rows, swapRedBlue_, crop,
             out);
    return generation_;
}

std::uint64_t PipeWireStream::generation() const {
    std::lock_guard guard(mutex_);
    return generation_;
}

std::optional<std::string> PipeWireStream::failure() const {
    std::lock_guard guard(mutex_);
    return failure_;
}

}  // namespace kg::capture
