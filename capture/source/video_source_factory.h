#pragma once
// Picks the video source for this session: on a Wayland session the screen-cast portal (an
// X11 grab there would be black wherever a Wayland window is), elsewhere the X server.
//
// Threads: any thread; both functions block while they talk to the servers.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/source/video_source.h"

namespace kg::capture {

enum class SessionKind { x11, wayland };

// Wayland when WAYLAND_DISPLAY is set or XDG_SESSION_TYPE is "wayland".
[[nodiscard]] SessionKind currentSessionKind();

// The source for this session. `excludedWindowIds` are our own windows, left out where the
// source can tell them apart. Throws CaptureError with a message a person can act on.
[[nodiscard]] std::unique_ptr<VideoSource> openVideoSource(const std::vector<std::uint32_t>& excludedWindowIds);

// Whether the screen can be recorded in this session: nullopt, or a message naming what is
// missing.
[[nodiscard]] std::optional<std::string> captureUnavailableReason();

}  // namespace kg::capture
