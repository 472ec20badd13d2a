#pragma once
// The screen-cast portal (org.freedesktop.portal.ScreenCast on the session bus): whether it is
// there and what it offers. Plain property reads through GIO, each bounded by a time-out.
//
// Threads: any thread.

#include <gio/gio.h>

#include <cstdint>
#include <optional>
#include <string>

#include "capture/portal/glib_handles.h"

namespace kg::capture {

struct ScreenCastOffer {
    std::uint32_t version = 0;
    std::uint32_t cursorModes = 0;  // bit set: 1 hidden, 2 embedded, 4 metadata
    std::uint32_t sourceTypes = 0;  // bit set: 1 monitor, 2 window, 4 virtual
};

// GLib's shared session-bus connection, set not to end the process should the bus go away.
// Throws CaptureError "screen capture unavailable: no D-Bus session bus (...)".
[[nodiscard]] GObjectPtr<GDBusConnection> connectSessionBus();

// What the portal offers. Throws CaptureError "screen capture unavailable: ..." when no portal
// answers, it has no ScreenCast interface, or it cannot share monitors.
[[nodiscard]] ScreenCastOffer queryScreenCast(GDBusConnection* bus);

// The output a stored screen-cast permission shares, when its restore data names one (as the
// wlroots backend's does); nullopt when that cannot be told. Reads the permission store.
[[nodiscard]] std::optional<std::string> permittedOutputName(GDBusConnection* bus, const std::string& restoreToken);

// nullopt when the portal can share a monitor, else the "screen capture unavailable: ..." text.
[[nodiscard]] std::optional<std::string> screenCastUnavailableReason();

}  // namespace kg::capture
