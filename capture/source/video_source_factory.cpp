#include "capture/source/video_source_factory.h"

#include <cstdlib>
#include <string_view>

#include "capture/capture_error.h"
#include "capture/portal/portal_video_source.h"
#include "capture/portal/screen_cast_portal.h"
#include "capture/x11/x11_display.h"
#include "capture/x11/screen_snapshot.h"
#include "capture/x11/x11_video_source.h"

namespace kg::capture {

SessionKind currentSessionKind() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* type = std::getenv("XDG_SESSION_TYPE");
    if ((wayland && *wayland) || (type && std::string_view(type) == "wayland")) return SessionKind::wayland;
    return SessionKind::x11;
}

// On a Wayland session an X11 grab (through Xwayland) would be black wherever a Wayland window
// is: the portal or nothing.
std::unique_ptr<VideoSource> openVideoSource(const std::vector<std::uint32_t>& excludedWindowIds,
                                             std::shared_ptr<const ScreenSnapshot> screenBefore) {
    if (currentSessionKind() == SessionKind::wayland)
        return std::make_unique<PortalVideoSource>(RestoreTokenStore(RestoreTokenStore::defaultPath()));
    return std::make_unique<X11VideoSource>(excludedWindowIds, std::move(screenBefore));
}

std::shared_ptr<const ScreenSnapshot> snapshotScreen() {
    if (currentSessionKind() == SessionKind::wayland) return nullptr;
    try {
        X11Display display;
        return takeScreenSnapshot(display);
    } catch (const std::exception&) {
        return nullptr;  // the engine's own set-up reports what is wrong with the server
    }
}

std::optional<std::string> captureUnavailableReason() {
    if (currentSessionKind() == SessionKind::wayland) return screenCastUnavailableReason();
    try {
        X11Display display;
        return display.missingForCapture();
    } catch (const CaptureError& error) {
        return std::string(error.what());
    }
}

}  // namespace kg::capture
