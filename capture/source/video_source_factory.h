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

struct ScreenSnapshot;

enum class SessionKind { x11, wayland };

// Wayland when WAYLAND_DISPLAY is set or XDG_SESSION_TYPE is "wayland".
[[nodiscard]] SessionKind currentSessionKind();

// The source for this session. `excludedWindowIds` are our own windows, left out where the
// source can tell them apart; `screenBefore` (may be null) is what the screen showed just
// before they appeared. Throws CaptureError with a message a person can act on.
[[nodiscard]] std::unique_ptr<VideoSource> openVideoSource(const std::vector<std::uint32_t>& excludedWindowIds,
                                                           std::shared_ptr<const ScreenSnapshot> screenBefore);

// The screen as it is now, for openVideoSource(): taken just before our windows are shown.
// Null on a Wayland session (the portal cannot leave windows out anyway) or when the X server
// cannot be reached; never throws.
[[nodiscard]] std::shared_ptr<const ScreenSnapshot> snapshotScreen();

// Whether the screen can be recorded in this session: nullopt, or a message naming what is
// missing.
[[nodiscard]] std::optional<std::string> captureUnavailableReason();

}  // namespace kg::capture
