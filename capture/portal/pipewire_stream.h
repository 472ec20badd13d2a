#pragma once
// The PipeWire video stream of a screen cast: connected through the portal's PipeWire
// connection to the portal's node, in shared-memory buffers (no GPU import) of 32-bit BGRx,
// BGRA, RGBx or RGBA pixels. Frames arrive only when the screen changed.
//
// The newest buffer is held (not handed back to the producer) until a newer one arrives, so a
// copy can be taken from it at any time; everything about it is guarded by one mutex.
//
// Threads: PipeWire's callbacks run on the stream's own loop thread; construction and
// destruction on one thread; copyNewest() and failure() from any thread.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "capture/bgrx_image.h"
#include "capture/capture_geometry.h"
#include "capture/portal/pipewire_handles.h"
#include "platform/unique_fd.h"

namespace kg::capture {

class PipeWireStream {
public:
    // Connects and waits until the format is agreed. Throws CaptureError "screen capture
    // unavailable: ...".
    PipeWireStream(UniqueFd remote, std::uint32_t nodeId);
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // Copies the part `cropFor(width, height)` (stream pixels; what lies outside the picture
    // is black) of the newest picture into `out`, which must be of the crop's size, as BGRX.
    // Returns the picture's number (1 for the first), or 0 when none has arrived yet.
    using CropFor = std::function<PixelRect(std::int64_t streamWidth, std::int64_t streamHeight)>;
    std::uint64_t copyNewest(const CropFor& cropFor, std::vector<std::uint8_t>& out, PixelRect& crop);

    // The newest picture's number: changes whenever a picture arrives.
    [[nodiscard]] std::uint64_t generation() const;

    // Why the stream ended for good, once it has.
    [[nodiscard]] std::optional<std::string> failure() const;

private:
    static void onStateChanged(void* data, pw_stream_state old, pw_stream_state state, const char* error);
    static void onParamChanged(void* data, std::uint32_t id, const spa_pod* param);
    static void onRemoveBuffer(void* data, pw_buffer* buffer);
    static void onProcess(void* data);
    static void onCoreError(void* data, std::uint32_t id, int seq, int res, const char* message);
    static void onGlobalRemove(void* data, std::uint32_t id);
    void fail(std::string reason);

    PwThreadLoopPtr loop_;
    PwContextPtr context_;
    PwCorePtr core_;
    PwRegistryPtr registry_;
    PwStreamPtr stream_;
    SpaHookOwner coreListener_;
    SpaHookOwner registryListener_;
    SpaHookOwner streamListener_;

    std::uint32_t nodeId_;

    mutable std::mutex mutex_;
    pw_buffer* held_ = nullptr;
    std::uint64_t generation_ = 0;
    std::int64_t width_ = 0;
    std::int64_t height_ = 0;
    bool swapRedBlue_ = false;
    bool negotiated_ = false;
    std::optional<std::string> failure_;

    PwThreadLoopRunning running_;  // last: its thread ends first
};

}  // namespace kg::capture
