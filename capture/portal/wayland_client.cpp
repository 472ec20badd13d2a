#include "capture/portal/wayland_client.h"

#include <poll.h>

#include "capture/portal/quiet_libraries.h"

namespace kg::capture {

namespace {

using WaylandCallbackPtr = WaylandPtr<wl_callback, wl_callback_destroy>;

void onSyncDone(void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }
const wl_callback_listener kSyncListener = {onSyncDone};

}  // namespace

WaylandDisplayPtr connectWayland() {
    quietDesktopLibraries();
    return WaylandDisplayPtr(wl_display_connect(nullptr));
}

bool roundtrip(wl_display* display, std::chrono::steady_clock::time_point deadline) {
    bool done = false;
    WaylandCallbackPtr callback(wl_display_sync(display));
    wl_callback_add_listener(callback.get(), &kSyncListener, &done);
    while (!done) {
        while (wl_display_prepare_read(display) != 0)
            if (wl_display_dispatch_pending(display) < 0) return false;
        if (done) {
            wl_display_cancel_read(display);
            break;
        }
        wl_display_flush(display);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd fd{wl_display_get_fd(display), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
            wl_display_cancel_read(display);
            return false;
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) return false;
    }
    return true;
}

}  // namespace kg::capture
