#pragma once
// A person's X11 desktop on a private X server (a free display number found with -displayfd,
// so concurrent test runs never collide), for tests that must hold on the desktops people run:
// a wallpaper on the root window and, per `Desktop`, no window manager, openbox, openbox with
// picom drawing shadows, or xfwm4 with its own compositor. The constructor returns once the
// window manager owns WM_S0 and manages windows, the compositing manager owns _NET_WM_CM_S0
// and the wallpaper is on the screen; everything stops when the object goes away.
// The server is Xvfb, or with two monitors Xorg with its dummy driver (Xvfb's one screen is
// one RandR monitor, whatever is asked of it), which needs root.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process_runner.h"
#include "tests/support/temp_dir.h"
#include "tests/support/x11_test_scene.h"

namespace kg::test {

enum class Desktop { Bare, Openbox, OpenboxPicom, Xfwm4 };

// A short name usable in a test's name: "bare", "openbox", "picom", "xfwm4".
[[nodiscard]] std::string desktopName(Desktop desktop);
// The first program the desktop needs that is not installed, or empty.
[[nodiscard]] std::string missingProgram(Desktop desktop);

class DesktopSession {
public:
    // Throws std::runtime_error naming what did not come up. `width` x `height` is the first
    // (primary) monitor's; a second one of the same size lies right of it, its top
    // `secondMonitorDrop` pixels lower.
    DesktopSession(Desktop desktop, std::uint32_t wallpaperRgb, int width = 1280, int height = 800,
                   std::optional<int> secondMonitorDrop = std::nullopt);
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;
    ~DesktopSession();

    [[nodiscard]] const std::string& display() const { return display_; }  // ":N"
    [[nodiscard]] pid_t serverPid() const { return server_->pid(); }
    // Options for a child that should be a client of this desktop (DISPLAY set, Qt on xcb).
    [[nodiscard]] ProcessOptions clientOptions() const;
    // Runs a tool such as xdotool against this desktop; returns its result.
    ProcessResult run(const std::vector<std::string>& argv) const;
    [[nodiscard]] bool hasWindowManager() const { return desktop_ != Desktop::Bare; }
    [[nodiscard]] bool composited() const { return desktop_ == Desktop::OpenboxPicom || desktop_ == Desktop::Xfwm4; }

    // An application's ordinary top-level window (managed, decorated, placed where it asks),
    // filled with 0xRRGGBB; returns once it shows on the screen with its shadow (the screen
    // has settled). It stays until the session ends. `x`, `y`: desktop pixels (y down).
    std::uint32_t openWindow(int x, int y, int width, int height, std::uint32_t rgb);
    // Whether a mouse button was pressed on a window from openWindow within `timeout`.
    [[nodiscard]] bool pressed(std::uint32_t window, std::chrono::milliseconds timeout);
    // The keyboard focus: a window, or 0 for none and 1 for PointerRoot (the focus follows the
    // pointer, a bare server's default).
    void focus(std::uint32_t window);
    [[nodiscard]] std::uint32_t inputFocus() const;
    // What the first monitor shows now, RGB24 rows top down (0xRRGGBB from pixel(): anywhere).
    [[nodiscard]] std::vector<std::uint8_t> screenshot() const;
    [[nodiscard]] std::uint32_t pixel(int x, int y) const { return x_->pixel(x, y); }
    // The session's own client, for override-redirect windows drawn like ours and grabs.
    [[nodiscard]] X11TestScene& scene() { return *x_; }

private:
    Desktop desktop_;
    int width_, height_;
    TempDir dir_;
    std::unique_ptr<BackgroundProcess> server_;
    std::string display_;
    std::unique_ptr<X11TestScene> x_;  // the session's own client: wallpaper checks, windows
    // Declared in start order, so they stop in reverse: compositor, window manager, bus.
    std::optional<BackgroundProcess> bus_;
    std::optional<BackgroundProcess> windowManager_;
    std::optional<BackgroundProcess> compositor_;
};

}  // namespace kg::test
