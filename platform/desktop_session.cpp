#include "platform/desktop_session.h"

#include <cstdlib>
#include <string_view>

#include "platform/application.h"

namespace kg {

const DesktopSession& DesktopSession::current() {
    static const DesktopSession session = [] {
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        const char* type = std::getenv("XDG_SESSION_TYPE");
        const bool isWayland = (wayland && *wayland) || (type && std::string_view(type) == "wayland");
        return DesktopSession(isWayland ? DisplayServer::wayland : DisplayServer::x11);
    }();
    return session;
}

bool DesktopSession::hasRealTranslucency() const {
    return server_ == DisplayServer::wayland || Application::shared().hasCompositingManager();
}

}  // namespace kg
