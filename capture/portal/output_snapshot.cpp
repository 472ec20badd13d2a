#include "capture/portal/output_snapshot.h"

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "capture/portal/crop_copy.h"
#include "capture/portal/wayland_client.h"
#include "platform/unique_fd.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace kg::capture {

namespace {

constexpr auto kAnswerTimeout = std::chrono::seconds(2);

using ShmPtr = WaylandPtr<wl_shm, wl_shm_destroy>;
using ShmPoolPtr = WaylandPtr<wl_shm_pool, wl_shm_pool_destroy>;
using BufferPtr = WaylandPtr<wl_buffer, wl_buffer_destroy>;
using ScreencopyManagerPtr = WaylandPtr<zwlr_screencopy_manager_v1, zwlr_screencopy_manager_v1_destroy>;
using ScreencopyFramePtr = WaylandPtr<zwlr_screencopy_frame_v1, zwlr_screencopy_frame_v1_destroy>;

// A shared-memory mapping, unmapped when it goes.
class Mapping {
public:
    Mapping(int fd, std::size_t size) : size_(size) {
        void* at = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        data_ = at == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(at);
    }
    ~Mapping() {
        if (data_) ::munmap(data_, size_);
    }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    [[nodiscard]] const std::uint8_t* data() const { return data_; }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_;
};

struct Globals {
    std::uint32_t wantedOutput = 0;
    WaylandOutputPtr output;
    ShmPtr shm;
    ScreencopyManagerPtr manager;
};

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
    auto* globals = static_cast<Globals*>(data);
    if (name == globals->wantedOutput && std::strcmp(interface, wl_output_interface.name) == 0)
        globals->output.reset(static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1)));
    else if (std::strcmp(interface, wl_shm_interface.name) == 0)
        globals->shm.reset(static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1)));
    else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0)
        globals->manager.reset(static_cast<zwlr_screencopy_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, std::min(version, 3u))));
}
void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

struct Frame {
    bool offered = false;  // a shared-memory buffer form was announced
    std::uint32_t format = 0, width = 0, height = 0, stride = 0;
    std::uint32_t flags = 0;
    bool ready = false;
    bool failed = false;
};

void onBuffer(void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width, std::uint32_t height,
              std::uint32_t stride) {
    auto* frame = static_cast<Frame*>(data);
    frame->offered = true;
    frame->format = format;
    frame->width = width;
    frame->height = height;
    frame->stride = stride;
}
void onFlags(void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) { static_cast<Frame*>(data)->flags = flags; }
void onReady(void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
    static_cast<Frame*>(data)->ready = true;
}
void onFailed(void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->failed = true; }
void onDamage(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void onDmabuf(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {}
void onBufferDone(void*, zwlr_screencopy_frame_v1*) {}
const zwlr_screencopy_frame_v1_listener kFrameListener = {onBuffer, onFlags,  onReady,     onFailed,
                                                          onDamage, onDmabuf, onBufferDone};

}  // namespace

std::optional<OutputSnapshot> snapshotOutput(std::uint32_t globalName) {
    WaylandDisplayPtr display = connectWayland();
    if (!display) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
    Globals globals;
    globals.wantedOutput = globalName;
    WaylandRegistryPtr registry(wl_display_get_registry(display.get()));
    wl_registry_add_listener(registry.get(), &kRegistryListener, &globals);
    if (!roundtrip(display.get(), deadline) || !globals.output || !globals.shm || !globals.manager) return std::nullopt;

    Frame frame;
    ScreencopyFramePtr copy(zwlr_screencopy_manager_v1_capture_output(globals.manager.get(), 1, globals.output.get()));
    zwlr_screencopy_frame_v1_add_listener(copy.get(), &kFrameListener, &frame);
    if (!roundtrip(display.get(), deadline) || frame.failed || !frame.offered) return std::nullopt;
    // 32-bit formats only: XRGB/ARGB8888 are B, G, R, X in memory; XBGR/ABGR8888 swap red and blue.
    const bool bgrx = frame.format == WL_SHM_FORMAT_XRGB8888 || frame.format == WL_SHM_FORMAT_ARGB8888;
    const bool rgbx = frame.format == WL_SHM_FORMAT_XBGR8888 || frame.format == WL_SHM_FORMAT_ABGR8888;
    if ((!bgrx && !rgbx) || frame.stride < frame.width * 4) return std::nullopt;

    const std::size_t size = static_cast<std::size_t>(frame.stride) * frame.height;
    UniqueFd memory(::memfd_create("kg-output-snapshot", MFD_CLOEXEC));
    if (!memory || ::ftruncate(memory.get(), static_cast<off_t>(size)) != 0) return std::nullopt;
    Mapping mapping(memory.get(), size);
    if (!mapping.data()) return std::nullopt;
    ShmPoolPtr pool(wl_shm_create_pool(globals.shm.get(), memory.get(), static_cast<std::int32_t>(size)));
    BufferPtr buffer(wl_shm_pool_create_buffer(pool.get(), 0, static_cast<std::int32_t>(frame.width),
                                               static_cast<std::int32_t>(frame.height),
                                               static_cast<std::int32_t>(frame.stride), frame.format));
    zwlr_screencopy_frame_v1_copy(copy.get(), buffer.get());
    while (!frame.ready && !frame.failed)
        if (!roundtrip(display.get(), deadline)) return std::nullopt;
    if (frame.failed) return std::nullopt;

    OutputSnapshot snapshot;
    snapshot.width = frame.width;
    snapshot.height = frame.height;
    snapshot.bgrx.resize(static_cast<std::size_t>(frame.width) * frame.height * 4);
    const bool flipped = (frame.flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
    for (std::uint32_t y = 0; y < frame.height; ++y) {
        const std::uint8_t* from = mapping.data() + static_cast<std::size_t>(flipped ? frame.height - 1 - y : y) * frame.stride;
        std::uint8_t* to = snapshot.bgrx.data() + static_cast<std::size_t>(y) * frame.width * 4;
        copyRowToBgrx(from, to, frame.width, !bgrx);
    }
    return snapshot;
}

}  // namespace kg::capture
