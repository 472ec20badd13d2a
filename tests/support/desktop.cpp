#include "tests/support/desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <thread>
#include <vector>

namespace kg::test {
namespace {

using namespace std::chrono_literals;
constexpr const char* kXfconfService = "/usr/share/dbus-1/services/org.xfce.Xfconf.service";

// Starts the server (argv, with the -displayfd descriptor appended) on a free display; returns
// once it accepts connections (it then writes the display number to the descriptor).
std::unique_ptr<BackgroundProcess> startServer(std::vector<std::string> argv, const std::string& log, std::string& display) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    argv.insert(argv.end(), {"-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-noreset"});
    std::unique_ptr<BackgroundProcess> server;
    ProcessOptions options;
    options.logPath = log;
    options.stopGrace = 5s;
    try {
        server = std::make_unique<BackgroundProcess>(argv, options);
    } catch (...) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw;
    }
    ::close(fds[1]);
    std::string number;
    pollfd pfd{fds[0], POLLIN, 0};
    for (char c; ::poll(&pfd, 1, 15000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
    ::close(fds[0]);
    if (number.empty()) throw std::runtime_error(argv[0] + " did not start" + server->logTail());
    display = ":" + number;
    return server;
}

// Paints the wallpaper as wallpaper setters do: a pixmap as the root window's background,
// published in _XROOTPMAP_ID and ESETROOT_PMAP_ID (compositing managers draw the desktop from
// it; picom shows plain grey for a root that only has a background colour) and kept after this
// client disconnects.
void paintWallpaper(const std::string& display, int width, int height, std::uint32_t rgb) {
    const X11TestScene x(display);
    xcb_connection_t* c = x.connection();
    const xcb_window_t root = x.screen()->root;
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, x.screen()->root_depth, pixmap, root, width, height);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, pixmap, XCB_GC_FOREGROUND, &rgb);
    const xcb_rectangle_t all{0, 0, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height)};
    xcb_poly_fill_rectangle(c, pixmap, gc, 1, &all);
    xcb_free_gc(c, gc);
    xcb_change_window_attributes(c, root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(c, 0, root, 0, 0, 0, 0);
    for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"})
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, x.atom(name), XCB_ATOM_PIXMAP, 32, 1, &pixmap);
    xcb_set_close_down_mode(c, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
    x.sync();
}

// A session bus that starts only xfconfd on demand (xfwm4 reads its settings through it),
// with nothing else to activate.
std::map<std::string, std::string> sessionBusEnvironment(const TempDir& dir) {
    if (!std::filesystem::exists(kXfconfService)) throw std::runtime_error(std::string("missing ") + kXfconfService);
    const auto services = dir.path() / "services";
    std::filesystem::create_directories(services);
    std::filesystem::copy_file(kXfconfService, services / "org.xfce.Xfconf.service");
    writeFile(dir.file("bus.conf"),
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
              "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n<busconfig><type>session</type>"
              "<listen>unix:path=" + dir.file("bus") + "</listen><servicedir>" + services.string() +
              "</servicedir><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    return {{"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.file("bus")},
            {"XDG_CONFIG_HOME", dir.file("config")},
            {"XDG_CACHE_HOME", dir.file("cache")},
            {"XDG_DATA_HOME", dir.file("data")},
            {"NO_AT_BRIDGE", "1"}};
}

}  // namespace

std::string desktopName(Desktop desktop) {
    switch (desktop) {
    case Desktop::Bare: return "bare";
    case Desktop::Openbox: return "openbox";
    case Desktop::OpenboxPicom: return "picom";
    case Desktop::Xfwm4: return "xfwm4";
    }
    return "unknown";
}

std::string missingProgram(Desktop desktop) {
    const std::vector<std::string> programs = desktop == Desktop::Bare      ? std::vector<std::string>{}
                                              : desktop == Desktop::Xfwm4 ? std::vector<std::string>{"xfwm4", "dbus-daemon"}
                                              : desktop == Desktop::Openbox ? std::vector<std::string>{"openbox"}
                                                                            : std::vector<std::string>{"openbox", "picom"};
    for (const auto& program : programs)
        if (findProgram(program).empty()) return program;
    return {};
}

DesktopSession::DesktopSession(Desktop desktop, std::uint32_t wallpaperRgb, int width, int height,
                               std::optional<int> secondMonitorDrop)
    : desktop_(desktop), width_(width), height_(height) {
    if (const std::string missing = missingProgram(desktop); !missing.empty())
        throw std::runtime_error(missing + " is not installed");
    if (!secondMonitorDrop) {
        server_ = startServer({"Xvfb", "-screen", "0", std::to_string(width) + "x" + std::to_string(height) + "x24",
                               "+extension", "RANDR", "+extension", "Composite", "+extension", "DAMAGE"},
                              "/dev/null", display_);
    } else {
        server_ = startServer({"Xorg", "-config", KG_XORG_DUMMY_CONFIG, "-logfile", dir_.file("xorg.log"), "-novtswitch",
                               "-sharevts"}, dir_.file("xorg.out"), display_);
        const std::string mode = std::to_string(width) + "x" + std::to_string(height);
        for (const std::vector<std::string>& argv :
             {std::vector<std::string>{"xrandr", "--addmode", "DUMMY1", mode},
              {"xrandr", "--output", "DUMMY0", "--mode", mode, "--pos", "0x0", "--primary", "--output", "DUMMY1", "--mode",
               mode, "--pos", std::to_string(width) + "x" + std::to_string(*secondMonitorDrop)}}) {
            if (const ProcessResult r = run(argv); r.exitStatus != 0) throw std::runtime_error("xrandr failed: " + r.err);
        }
    }
    paintWallpaper(display_, secondMonitorDrop ? 2 * width : width, height + secondMonitorDrop.value_or(0), wallpaperRgb);
    ProcessOptions options;
    options.env = {{"DISPLAY", display_}};
    options.logPath = "/dev/null";
    options.stopGrace = 5s;
    const std::string name = desktopName(desktop);
    x_ = std::make_unique<X11TestScene>(display_);
    const X11TestScene& x = *x_;
    if (desktop == Desktop::Openbox || desktop == Desktop::OpenboxPicom) {
        windowManager_.emplace(std::vector<std::string>{"openbox", "--sm-disable"}, options);
    } else if (desktop == Desktop::Xfwm4) {
        options.env.merge(sessionBusEnvironment(dir_));
        bus_.emplace(std::vector<std::string>{"dbus-daemon", "--config-file=" + dir_.file("bus.conf"), "--nofork"},
                     options);
        waitUntil(name + ": session bus", [&] { return std::filesystem::exists(dir_.file("bus")); }, {&*bus_}, 20s);
        windowManager_.emplace(std::vector<std::string>{"xfwm4", "--compositor=on", "--vblank=off", "--sm-client-disable"},
                               options);
    }
    if (windowManager_)
        waitUntil(name + ": window manager", [&] { return x.selectionOwned("WM_S0"); }, {&*windowManager_}, 20s);
    if (desktop == Desktop::OpenboxPicom)
        compositor_.emplace(std::vector<std::string>{"picom", "--shadow"}, options);
    const BackgroundProcess* compositing = compositor_ ? &*compositor_ : windowManager_ ? &*windowManager_ : nullptr;
    if (composited())
        waitUntil(name + ": compositing manager", [&] { return x.selectionOwned("_NET_WM_CM_S0"); }, {compositing}, 20s);
    // The compositing manager's first paint of the desktop, or the root's own.
    waitUntil(name + ": wallpaper on screen",
              [&] { return x.pixel(width / 2, height / 2) == (wallpaperRgb & 0xffffff); }, {compositing}, 20s);
    if (!hasWindowManager()) return;
    // Up means managing windows: one is opened and closed before the session is handed over.
    xcb_destroy_window(x.connection(), openWindow(100, 100, 200, 200, ~wallpaperRgb & 0xffffff));
    xcb_flush(x.connection());
    waitUntil(name + ": a closed window gone", [&] { return x.pixel(200, 200) == (wallpaperRgb & 0xffffff); }, {}, 20s);
}

DesktopSession::~DesktopSession() = default;

ProcessOptions DesktopSession::clientOptions() const {
    ProcessOptions options;
    options.env = {{"DISPLAY", display_}, {"QT_QPA_PLATFORM", "xcb"}};
    options.unsetEnv = {"WAYLAND_DISPLAY"};
    return options;
}

ProcessResult DesktopSession::run(const std::vector<std::string>& argv) const { return runProcess(argv, clientOptions()); }

std::uint32_t DesktopSession::openWindow(int x, int y, int width, int height, std::uint32_t rgb) {
    xcb_connection_t* c = x_->connection();
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {rgb, XCB_EVENT_MASK_BUTTON_PRESS};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, x_->screen()->root, x, y, width, height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, x_->screen()->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK,
                      values);
    // WM_NORMAL_HINTS with a user-given position and size, so the window manager places it there.
    std::uint32_t hints[18] = {1 | 2};
    hints[1] = x, hints[2] = y, hints[3] = width, hints[4] = height;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18,
                        hints);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 6, "window");
    // A window manager that has only just announced itself may drop the first map request:
    // it is repeated until the window shows.
    int polls = 0;
    waitUntil("window on " + desktopName(desktop_), [&] {
        if (polls++ % 25 == 0) {
            xcb_map_window(c, window);
            xcb_flush(c);
        }
        return x_->pixel(x + width / 2, y + height / 2) == rgb;
    }, {}, 20s);
    // A compositing manager paints the window's shadow a moment after the window itself: it
    // counts as shown once two looks at the screen 200 ms apart agree.
    const auto look = [&] { return composited() ? x_->grab(0, 0, width_, height_) : std::vector<std::uint32_t>{}; };
    std::vector<std::uint32_t> shot, again = look();
    for (int looks = 0; composited() && looks < 25 && again != shot; ++looks) {
        shot = std::move(again);
        std::this_thread::sleep_for(200ms);
        again = look();
    }
    return window;
}

bool DesktopSession::pressed(std::uint32_t window, std::chrono::milliseconds timeout) {
    bool seen = false;
    try {
        waitUntil("a press", [&] {
            while (const capture::XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(x_->connection())}) {
                seen = seen || ((event->response_type & 0x7f) == XCB_BUTTON_PRESS &&
                                reinterpret_cast<xcb_button_press_event_t*>(event.get())->event == window);
            }
            return seen;
        }, {}, timeout);
    } catch (const std::runtime_error&) {
    }
    return seen;
}

void DesktopSession::focus(std::uint32_t window) {
    xcb_set_input_focus(x_->connection(), XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    x_->sync();
}

std::uint32_t DesktopSession::inputFocus() const {
    const auto reply = capture::xcbReply<xcb_get_input_focus_reply_t>(x_->connection(), xcb_get_input_focus_reply,
                                                                      xcb_get_input_focus(x_->connection()));
    return reply ? reply->focus : 0;
}

std::vector<std::uint8_t> DesktopSession::screenshot() const {
    std::vector<std::uint8_t> rgb;
    for (const std::uint32_t p : x_->grab(0, 0, width_, height_))
        rgb.insert(rgb.end(), {static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8), static_cast<std::uint8_t>(p)});
    return rgb;
}

}  // namespace kg::test
