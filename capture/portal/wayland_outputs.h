#pragma once
// The compositor's outputs (monitors), as a Wayland client sees them: name, place and size in
// the logical layout (what the compositor's Xwayland and every region use) and the size in
// pixels that a screen cast of that output delivers.
//
// Threads: any; blocks while it talks to the compositor (bounded by a time-out).

#include <cstdint>
#include <string>
#include <vector>

#include "capture/capture_geometry.h"

namespace kg::capture {

struct WaylandOutput {
    std::string name;           // e.g. "HEADLESS-1", "DP-1"
    PixelRect logical;          // layout coordinates
    std::int64_t pixelWidth = 0;   // the current mode, turned as the output is
    std::int64_t pixelHeight = 0;
    std::uint32_t globalName = 0;  // the compositor's name for the wl_output global
};

// The outputs in the order the compositor announces them (the order Xwayland lists its
// monitors in). Throws CaptureError "screen capture unavailable: ..." when the compositor at
// WAYLAND_DISPLAY cannot be reached or does not describe its outputs in time.
[[nodiscard]] std::vector<WaylandOutput> listWaylandOutputs();

}  // namespace kg::capture
