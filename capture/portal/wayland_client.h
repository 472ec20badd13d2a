#pragma once
// What both of our short Wayland conversations with the compositor (the output list, a
// snapshot of an output) need: owning handles for protocol objects and a round trip with a
// deadline.

#include <chrono>
#include <memory>

#include <wayland-client.h>

namespace kg::capture {

template <typename T, void (*destroy)(T*)>
struct WaylandDestroy {
    void operator()(T* proxy) const { destroy(proxy); }
};
// One owning type per protocol object kind, released by its own destructor request.
template <typename T, void (*destroy)(T*)>
using WaylandPtr = std::unique_ptr<T, WaylandDestroy<T, destroy>>;

using WaylandDisplayPtr = WaylandPtr<wl_display, wl_display_disconnect>;
using WaylandRegistryPtr = WaylandPtr<wl_registry, wl_registry_destroy>;
using WaylandOutputPtr = WaylandPtr<wl_output, wl_output_destroy>;

// WAYLAND_DISPLAY's compositor, with libwayland's messages dropped; nullptr when unreachable.
[[nodiscard]] WaylandDisplayPtr connectWayland();

// Sends what is queued and handles events until the compositor has answered everything sent
// so far. False on time-out or a broken connection.
[[nodiscard]] bool roundtrip(wl_display* display, std::chrono::steady_clock::time_point deadline);

}  // namespace kg::capture
