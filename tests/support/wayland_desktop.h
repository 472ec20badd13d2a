#pragma once
// A person's Wayland desktop for a test, without GPU, input devices or systemd: sway (headless
// backend, software renderer) with Xwayland and a plain wallpaper 0x3a6ea5 on output
// HEADLESS-1, 1280 x 800 at (0, 0) (`swaymsg` changes it); a private session bus; PipeWire
// with WirePlumber and its pulse server; the permission store; xdg-desktop-portal with the
// wlroots screen-cast backend (plus a small LD_PRELOAD library, see wayland/, without which
// that backend cannot share a screen on a machine without GPU). All of it lives in a private
// runtime directory and stops, whole process groups, when the object goes away.
// Coordinates are sway layout coordinates (logical pixels = output pixels at scale 1), origin
// at the top left of HEADLESS-1.
//
// Nobody sits at this desktop: the portal shares the output a file names (`chooseOutput`), an
// empty name is a person declining, and every question asked is counted, so a test can tell
// that a restore token spared it. Main thread only.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/process_runner.h"
#include "tests/support/temp_dir.h"

namespace kg::test {

enum class PortalSetup {
    ScreenCast,    // the portal with the wlroots backend: ScreenCast version 4
    NoScreenCast,  // the portal runs, but no backend offers ScreenCast
    None,          // no portal on the bus at all
};

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// A part of the screen, RGB24 row by row.
struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    [[nodiscard]] std::uint32_t at(int x, int y) const;  // 0xRRGGBB
};

class WaylandDesktop {
public:
    // Returns once every part is up (sockets present, bus names owned); throws
    // std::runtime_error naming the part that did not come up, with the end of its log.
    explicit WaylandDesktop(PortalSetup portal = PortalSetup::ScreenCast);
    ~WaylandDesktop();
    WaylandDesktop(const WaylandDesktop&) = delete;
    WaylandDesktop& operator=(const WaylandDesktop&) = delete;

    // What a client of this desktop needs: WAYLAND_DISPLAY, DISPLAY (its Xwayland), SWAYSOCK,
    // XDG_RUNTIME_DIR, PIPEWIRE_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS, XDG_SESSION_TYPE=wayland,
    // XDG_CURRENT_DESKTOP=sway, XDG_STATE_HOME (private, empty at first).
    [[nodiscard]] const std::map<std::string, std::string>& clientEnv() const { return env_; }
    [[nodiscard]] ProcessOptions clientOptions() const;
    // Sets those variables in this process, for engine-level tests that run in the test.
    void exportToThisProcess() const;
    // Runs a tool (found on PATH) as a client of this desktop.
    ProcessResult run(const std::vector<std::string>& argv) const;
    ProcessResult swaymsg(const std::vector<std::string>& args) const;
    [[nodiscard]] const std::string& runtimeDir() const { return dir_.path().native(); }

    // The next SelectSources shares this output; an empty name makes it answer "cancelled",
    // as a person declining would. Applies until changed.
    void chooseOutput(const std::string& outputName);
    // How often the portal has asked which output to share.
    [[nodiscard]] int chooserCalls() const;

    // Adds an output with HEADLESS-1's mode right of all others (the first one added:
    // HEADLESS-2 at (1280, 0)). Returns its name.
    std::string addOutput();
    // Ends every screen-cast stream from the desktop's side, as when the compositor stops
    // sharing: the backend closes its sessions and removes their PipeWire nodes, and stays up.
    // A client's stream goes from "streaming" to "paused", its node disappears from the
    // registry and no frame follows; the portal sends the client no Closed signal (this backend
    // never does). Returns how many sessions ended; throws when there was none.
    int endScreenCasts();

    enum class Motion { Still, Moving };
    // An X11 window through Xwayland, placed exactly at `where` (override-redirect), filled
    // with 0xRRGGBB; a Moving one also sweeps a dark bar across itself 30 times a second, so a
    // screen-cast stream keeps delivering frames. Shown until the desktop goes away.
    void showWindow(const Rect& where, std::uint32_t rgb, Motion motion = Motion::Still);

    // Moves the virtual pointer, absolutely in layout coordinates (whatever outputs, positions
    // and scales the test has set).
    void movePointer(int x, int y);
    // Presses the left button at (x0, y0), moves to (x1, y1) in `steps` steps 30 ms apart, releases.
    void drag(int x0, int y0, int x1, int y1, int steps = 8);
    // A Wayland window (ffplay on SDL's Wayland driver) of 0xRRGGBB, tiled borderless over the
    // focused workspace, with a 40 x 40 square of 0x4060c0 sweeping along y 740..780 so that a
    // screen cast keeps delivering frames. Returns once (probeX, probeY) shows the colour.
    void showWaylandWindow(std::uint32_t rgb, int probeX, int probeY);

    // What is on the screen in `where` (layout coordinates) now, through grim, in output
    // pixels (twice `where`'s size on an output at scale 2). Without the pointer.
    [[nodiscard]] Screenshot screenshot(const Rect& where) const;

private:
    void start(PortalSetup portal);
    void stop();
    // A desktop process: its own process group (stopping it also stops what it started, such as
    // sway's Xwayland), SIGTERM when the test dies, its output in <runtime dir>/<name>.log.
    const BackgroundProcess& launch(const std::string& name, std::vector<std::string> argv,
                         const std::map<std::string, std::string>& extraEnv = {});
    [[nodiscard]] bool busNameOwned(const std::string& name) const;
    void pointerCommand(const std::string& line);
    [[nodiscard]] nlohmann::json outputs() const;  // swaymsg -t get_outputs
    [[nodiscard]] static Rect layoutBox(const nlohmann::json& outputs);  // around the active ones

    TempDir dir_;
    std::map<std::string, std::string> env_;         // for clients
    std::map<std::string, std::string> serviceEnv_;  // for the desktop's own processes
    std::vector<std::unique_ptr<BackgroundProcess>> services_;  // in start order; stopped in reverse
    std::unique_ptr<BackgroundProcess> pointer_;
    std::size_t pointerReplies_ = 0;
    std::vector<std::unique_ptr<BackgroundProcess>> windows_;
};

}  // namespace kg::test
