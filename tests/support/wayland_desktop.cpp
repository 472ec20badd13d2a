#include "tests/support/wayland_desktop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <climits>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace kg::test {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(15);
const std::string kConfigDir = KG_WAYLAND_CONFIG_DIR;

// Variables of the test's own environment that would point a desktop process elsewhere.
const std::vector<std::string> kForeignVariables = {
    "DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "I3SOCK", "PULSE_SERVER", "PULSE_RUNTIME_PATH", "PIPEWIRE_REMOTE",
    "XDG_DESKTOP_PORTAL_DIR", "LD_PRELOAD"};

// The name of the socket in `dir` that starts with `prefix` and ends with `suffix`, or empty.
std::string socketName(const fs::path& dir, const std::string& prefix, const std::string& suffix) {
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename();
        if (name.starts_with(prefix) && name.ends_with(suffix) && entry.is_socket()) return name;
    }
    return {};
}

}  // namespace

std::uint32_t Screenshot::at(int x, int y) const {
    const auto i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
    return (std::uint32_t{rgb.at(i)} << 16) | (std::uint32_t{rgb.at(i + 1)} << 8) | rgb.at(i + 2);
}

WaylandDesktop::WaylandDesktop(PortalSetup portal) {
    try {
        start(portal);
    } catch (...) {
        stop();
        throw;
    }
}

WaylandDesktop::~WaylandDesktop() { stop(); }

void WaylandDesktop::stop() {
    pointer_.reset();
    windows_.clear();
    while (!services_.empty()) services_.pop_back();
}

const BackgroundProcess& WaylandDesktop::launch(const std::string& name, std::vector<std::string> argv,
                                    const std::map<std::string, std::string>& extraEnv) {
    ProcessOptions options{.env = serviceEnv_, .unsetEnv = kForeignVariables, .logPath = runtimeDir() + "/" + name + ".log",
                           .ownProcessGroup = true, .parentDeathSignal = true, .stopGrace = std::chrono::seconds(3)};
    for (const auto& [key, value] : extraEnv) options.env[key] = value;
    services_.push_back(std::make_unique<BackgroundProcess>(std::move(argv), std::move(options)));
    return *services_.back();
}

bool WaylandDesktop::busNameOwned(const std::string& name) const {
    const auto result = run({"gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                             "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner", name});
    return result.exitStatus == 0 && result.out.find("true") != std::string::npos;
}

void WaylandDesktop::start(PortalSetup portal) {
    const fs::path runtime = dir_.path();  // mode 0700, ours
    // sway runs as user 1000 in a user namespace that maps it to us, so to it this directory
    // is its own as well, and to Qt clients running as us it is theirs.
    const std::string bus = "unix:path=" + (runtime / "bus").string();
    env_ = {{"XDG_RUNTIME_DIR", runtime}, {"PIPEWIRE_RUNTIME_DIR", runtime}, {"DBUS_SESSION_BUS_ADDRESS", bus},
            {"XDG_SESSION_TYPE", "wayland"}, {"XDG_CURRENT_DESKTOP", "sway"}, {"XDG_STATE_HOME", runtime / "client-state"}};
    // The desktop's own state (the permission store's grants among it) stays in here too.
    serviceEnv_ = env_;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
        serviceEnv_[name] = runtime / "home" / name;
        fs::create_directories(serviceEnv_[name]);
    }
    for (const char* dir : {"client-state", "no-portals"}) fs::create_directories(runtime / dir);
    chooseOutput("HEADLESS-1");

    const auto waitFor = [](const std::string& what, const BackgroundProcess& service, const std::function<bool()>& ready) {
        waitUntil(fs::path(service.logPath()).stem().string() + ": " + what, ready, {&service}, kStartTimeout,
                  milliseconds(10));
    };
    // Independent parts start together; each is waited for before its dependants start.
    const BackgroundProcess& sway = launch("sway",
                                {"unshare", "--user", "--map-user=1000", "--map-group=1000", requireProgram("sway"), "-c",
                                 kConfigDir + "/sway.config"},
                                {{"WLR_BACKENDS", "headless"}, {"WLR_LIBINPUT_NO_DEVICES", "1"}, {"WLR_RENDERER", "pixman"}});
    const BackgroundProcess& dbus = launch("dbus-daemon", {"dbus-daemon", "--config-file=" + kConfigDir + "/session-bus.conf",
                                                "--nofork", "--address=" + bus});
    const BackgroundProcess& pipewire = launch("pipewire", {"pipewire"});

    const auto xDisplayFile = (runtime / "x-display").string();
    waitFor("Wayland socket, IPC socket and Xwayland", sway, [&] {
        return !socketName(runtime, "wayland-", "").empty() && !socketName(runtime, "sway-ipc.", ".sock").empty() &&
               readFile(xDisplayFile).ends_with("\n");
    });
    env_["WAYLAND_DISPLAY"] = socketName(runtime, "wayland-", "");
    env_["SWAYSOCK"] = runtime / socketName(runtime, "sway-ipc.", ".sock");
    env_["DISPLAY"] = readFile(xDisplayFile);
    env_["DISPLAY"].pop_back();
    if (env_["DISPLAY"].empty()) throw std::runtime_error("sway started no Xwayland" + sway.logTail());
    waitFor("session bus", dbus, [&] { return busNameOwned("org.freedesktop.DBus"); });
    waitFor("socket", pipewire, [&] { return fs::exists(runtime / "pipewire-0"); });

    const BackgroundProcess& wireplumber = launch("wireplumber", {"wireplumber"});
    const BackgroundProcess& pulse = launch("pipewire-pulse", {"pipewire-pulse"});
    const BackgroundProcess& permissions = launch("xdg-permission-store", {"/usr/libexec/xdg-permission-store"});
    if (portal == PortalSetup::ScreenCast) {
        // Started before the portal, which reads its backends' properties once, at start.
        const BackgroundProcess& backend = launch("xdg-desktop-portal-wlr",
                                       {"/usr/libexec/xdg-desktop-portal-wlr", "-l", "INFO", "-c",
                                        kConfigDir + "/portal-wlr.config"},
                                       {{"WAYLAND_DISPLAY", env_["WAYLAND_DISPLAY"]}, {"LD_PRELOAD", KG_SCREENCOPY_SHIM}});
        waitFor("bus name", backend, [&] { return busNameOwned("org.freedesktop.impl.portal.desktop.wlr"); });
    }
    waitFor("bus name", permissions, [&] { return busNameOwned("org.freedesktop.impl.portal.PermissionStore"); });
    if (portal != PortalSetup::None) {
        std::map<std::string, std::string> extra;
        if (portal == PortalSetup::NoScreenCast) extra["XDG_DESKTOP_PORTAL_DIR"] = runtime / "no-portals";
        const BackgroundProcess& frontend = launch("xdg-desktop-portal", {"/usr/libexec/xdg-desktop-portal"}, extra);
        waitFor("bus name", frontend, [&] { return busNameOwned("org.freedesktop.portal.Desktop"); });
    }
    waitFor("socket", pulse, [&] { return fs::exists(runtime / "pulse" / "native"); });
    // WirePlumber links streams to their consumers; without it a screen cast starts but never
    // delivers a frame. Its export client appears once it manages the graph.
    waitFor("PipeWire client", wireplumber,
            [&] { return run({"pw-cli", "ls", "Client"}).out.find("WirePlumber [export]") != std::string::npos; });

    const std::string fifo = (runtime / "pointer").string();
    if (::mkfifo(fifo.c_str(), 0600) != 0) throw std::runtime_error("cannot create " + fifo);
    pointer_ = std::make_unique<BackgroundProcess>(std::vector<std::string>{KG_VIRTUAL_POINTER, fifo}, clientOptions());
    if (pointer_->waitForLines(1, kStartTimeout).find("ready\n") == std::string::npos)
        throw std::runtime_error("the virtual pointer did not come up: " + pointer_->wait(milliseconds(1000)).err);
    pointerReplies_ = 1;
}

ProcessOptions WaylandDesktop::clientOptions() const {
    ProcessOptions options;
    options.env = env_;
    options.timeout = milliseconds(30000);
    return options;
}

void WaylandDesktop::exportToThisProcess() const {
    for (const auto& [key, value] : env_) ::setenv(key.c_str(), value.c_str(), 1);
}

ProcessResult WaylandDesktop::run(const std::vector<std::string>& argv) const { return runProcess(argv, clientOptions()); }

ProcessResult WaylandDesktop::swaymsg(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {"swaymsg"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
}

void WaylandDesktop::chooseOutput(const std::string& outputName) {
    writeFile((dir_.path() / "chooser-output").string(), outputName + "\n");
}

int WaylandDesktop::chooserCalls() const {
    const std::string calls = readFile((dir_.path() / "chooser-calls").string());
    return static_cast<int>(std::count(calls.begin(), calls.end(), '\n'));
}

nlohmann::json WaylandDesktop::outputs() const {
    const auto result = swaymsg({"-r", "-t", "get_outputs"});
    if (result.exitStatus != 0) throw std::runtime_error("swaymsg -t get_outputs failed: " + result.err);
    return nlohmann::json::parse(result.out);
}

Rect WaylandDesktop::layoutBox(const nlohmann::json& outputs) {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    for (const auto& output : outputs) {
        if (!output.value("active", false)) continue;
        const auto& r = output["rect"];
        left = std::min(left, r["x"].get<int>());
        top = std::min(top, r["y"].get<int>());
        right = std::max(right, r["x"].get<int>() + r["width"].get<int>());
        bottom = std::max(bottom, r["y"].get<int>() + r["height"].get<int>());
    }
    return {left, top, right - left, bottom - top};
}

std::string WaylandDesktop::addOutput() {
    const auto before = outputs();
    if (swaymsg({"create_output"}).exitStatus != 0) throw std::runtime_error("swaymsg create_output failed");
    for (const auto& output : outputs()) {
        const std::string name = output["name"];
        if (std::any_of(before.begin(), before.end(), [&](const auto& o) { return o["name"] == name; })) continue;
        const auto& mode = before[0]["current_mode"];
        const Rect box = layoutBox(before);
        const auto placed = swaymsg({"output", name, "resolution",
                                     std::to_string(mode["width"].get<int>()) + "x" + std::to_string(mode["height"].get<int>()),
                                     "position", std::to_string(box.x + box.width), std::to_string(box.y)});
        if (placed.exitStatus != 0) throw std::runtime_error("cannot place " + name + ": " + placed.out);
        return name;
    }
    throw std::runtime_error("swaymsg create_output made no new output");
}

int WaylandDesktop::endScreenCasts() {
    const std::string backend = "org.freedesktop.impl.portal.desktop.wlr";
    const std::string sessions = "/org/freedesktop/portal/desktop/session/";
    const auto tree = run({"gdbus", "introspect", "--session", "--dest", backend, "--object-path",
                           "/org/freedesktop/portal/desktop", "--recurse", "--only-properties"});
    int closed = 0;
    std::istringstream lines(tree.out);
    for (std::string line; std::getline(lines, line);) {
        const auto at = line.find("node " + sessions);
        if (at == std::string::npos) continue;
        const std::string path = line.substr(at + 5, line.find(' ', at + 5) - at - 5);
        if (std::count(path.begin() + static_cast<long>(sessions.size()), path.end(), '/') != 1) continue;
        const auto result = run({"gdbus", "call", "--session", "--dest", backend, "--object-path", path, "--method",
                                 "org.freedesktop.impl.portal.Session.Close"});
        if (result.exitStatus != 0) throw std::runtime_error("cannot close screen-cast session " + path + ": " + result.err);
        ++closed;
    }
    if (closed == 0) throw std::runtime_error("no screen-cast session to end");
    return closed;
}

void WaylandDesktop::showWindow(const Rect& where, std::uint32_t rgb, Motion motion) {
    char colour[8];
    std::snprintf(colour, sizeof colour, "%06x", rgb & 0xffffffu);
    std::vector<std::string> argv = {KG_X11_WINDOW, std::to_string(where.x), std::to_string(where.y),
                                     std::to_string(where.width), std::to_string(where.height), colour};
    if (motion == Motion::Moving) argv.emplace_back("moving");
    auto window = std::make_unique<BackgroundProcess>(argv, clientOptions());
    if (window->waitForLines(1, kStartTimeout).find("mapped") == std::string::npos)
        throw std::runtime_error("the X11 window did not map: " + window->wait(milliseconds(1000)).err);
    windows_.push_back(std::move(window));
    // Returns once the compositor shows it: a corner pixel (the moving bar covers at most one
    // of the two) has the window's colour.
    waitUntil("the X11 window showing on the desktop", [&] {
        const Screenshot shot = screenshot(where);
        return shot.at(1, 1) == rgb || shot.at(shot.width - 2, shot.height - 2) == rgb;
    }, {}, std::chrono::seconds(5));
}

void WaylandDesktop::pointerCommand(const std::string& line) {
    // Non-blocking: with the pointer client gone there is no reader, and open fails at once.
    const int fifo = ::open((dir_.path() / "pointer").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fifo < 0) throw std::runtime_error("the virtual pointer has gone");
    const std::string text = line + "\n";
    const bool written = ::write(fifo, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fifo);
    ++pointerReplies_;
    const std::string out = pointer_->waitForLines(pointerReplies_, std::chrono::seconds(5));
    if (!written || !out.ends_with("ok\n")) throw std::runtime_error("virtual pointer: \"" + line + "\" failed");
}

void WaylandDesktop::movePointer(int x, int y) {
    // Absolute motion is relative to the box around all outputs, which a test may have changed.
    const Rect box = layoutBox(outputs());
    pointerCommand("move " + std::to_string(x - box.x) + " " + std::to_string(y - box.y) + " " +
                   std::to_string(box.width) + " " + std::to_string(box.height));
}

void WaylandDesktop::drag(int x0, int y0, int x1, int y1, int steps) {
    // A hand arrives in more than one motion (Xwayland places the first one after a jump
    // from a Wayland window at the wrong x), and rests before pressing.
    for (const int dx : {1, 0}) {
        movePointer(x0 + dx, y0);
        std::this_thread::sleep_for(milliseconds(50));
    }
    pointerCommand("down 272");
    for (int step = 1; step <= steps; ++step) {
        std::this_thread::sleep_for(milliseconds(30));
        movePointer(x0 + (x1 - x0) * step / steps, y0 + (y1 - y0) * step / steps);
    }
    std::this_thread::sleep_for(milliseconds(30));
    pointerCommand("up 272");
}

void WaylandDesktop::showWaylandWindow(std::uint32_t rgb, int probeX, int probeY) {
    char graph[160];
    std::snprintf(graph, sizeof graph,
                  "color=c=0x%06x:s=1280x800:r=30[a];color=c=0x4060c0:s=40x40:r=30[b];[a][b]overlay=x='mod(t*300,1240)':y=740",
                  rgb & 0xffffffu);
    ProcessOptions options = clientOptions();
    options.env["SDL_VIDEODRIVER"] = "wayland";
    windows_.push_back(std::make_unique<BackgroundProcess>(
        std::vector<std::string>{"ffplay", "-loglevel", "quiet", "-an", "-f", "lavfi", "-i", graph},
        options));
    waitUntil("the Wayland window showing", [&] { return screenshot({probeX, probeY, 1, 1}).at(0, 0) == rgb; }, {},
              std::chrono::seconds(10), milliseconds(50));
}

Screenshot WaylandDesktop::screenshot(const Rect& where) const {
    const std::string geometry = std::to_string(where.x) + "," + std::to_string(where.y) + " " +
                                 std::to_string(where.width) + "x" + std::to_string(where.height);
    const auto result = run({"grim", "-t", "ppm", "-g", geometry, "-"});
    std::istringstream in(result.out);  // "P6 <width> <height> 255", one white-space byte, RGB
    std::string magic;
    int maxValue = 0;
    Screenshot shot;
    in >> magic >> shot.width >> shot.height >> maxValue;
    const auto header = static_cast<std::size_t>(in.tellg()) + 1;
    if (result.exitStatus != 0 || magic != "P6" || maxValue != 255 ||
        result.out.size() != header + static_cast<std::size_t>(shot.width * shot.height * 3))
        throw std::runtime_error("grim took no screenshot: " + result.err);
    shot.rgb.assign(result.out.begin() + static_cast<long>(header), result.out.end());
    return shot;
}

}  // namespace kg::test
