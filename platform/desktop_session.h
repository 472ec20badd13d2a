#pragma once
// What the desktop session lets our windows do. Detected once, at the first question: a
// Wayland session (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland) shows our X11 windows
// through Xwayland, where the Wayland compositor composites them into the picture a
// screen-cast portal shares. Main thread only, after Application::open().

namespace kg {

enum class DisplayServer { x11, wayland };

class DesktopSession {
public:
    [[nodiscard]] static const DesktopSession& current();

    [[nodiscard]] DisplayServer displayServer() const { return server_; }
    // Whether the recording can leave our own windows out: yes from an X server, no from a
    // Wayland screen cast (the composited monitor, every window in it). Where it cannot,
    // nothing of ours may lie inside the recorded rectangle.
    [[nodiscard]] bool canExcludeOwnWindowsFromCapture() const { return server_ == DisplayServer::x11; }
    // Whether see-through pixels blend with what lies below: on X11 while a compositing
    // manager runs (asked each time, it may come and go); always under a Wayland compositor,
    // where an X11 snapshot of the screen would instead be black over Wayland windows.
    [[nodiscard]] bool hasRealTranslucency() const;

private:
    explicit DesktopSession(DisplayServer server) : server_(server) {}
    DisplayServer server_;
};

}  // namespace kg
