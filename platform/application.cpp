#include "platform/application.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QDir>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/qt/window_impl.h"
#include "platform/qt/x11.h"

namespace kg {

namespace {

QApplication* gApp = nullptr;
// The keyboard focus when the toolkit started (x11::inputFocus()).
std::uint32_t gFocusAtLaunch = x11::kFocusNone;
Application* gShared = nullptr;
bool gOpened = false;
bool gOpenAnswer = false;

void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

// The delegate given to setDelegate(), for the exit handler below.
ApplicationDelegate* gDelegate = nullptr;
bool gTerminating = false;

// Without XDG_RUNTIME_DIR the toolkit makes `<temporary directory>/runtime-<user>` while it
// starts (it only looks there for a sandbox's marker file). The folder it would make, when
// it does not exist yet: removed again once it is no longer needed, so that nothing is left.
std::string gRuntimeDirToRemove;

void noteToolkitRuntimeDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') return;
    const passwd* user = getpwuid(geteuid());
    if (user == nullptr) return;
    const std::string dir = QDir::tempPath().toStdString() + "/runtime-" + user->pw_name;
    struct stat info {};
    if (lstat(dir.c_str(), &info) != 0 && errno == ENOENT) gRuntimeDirToRemove = dir;
}

// Idempotent; leaves a folder that something has been put in.
void removeToolkitRuntimeDirectory() {
    if (!gRuntimeDirToRemove.empty()) rmdir(gRuntimeDirToRemove.c_str());
}

// With no session bus named (no DBUS_SESSION_BUS_ADDRESS, no $XDG_RUNTIME_DIR/bus), the D-Bus
// library would start one for the toolkit's accessibility bridge (dbus-launch and a
// dbus-daemon that outlive this process, until the X server ends). An address that names no
// transport makes every D-Bus client give up at once instead. Set before any thread exists.
void keepSessionBusFromStarting() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && *address != '\0') return;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') {
        struct stat info {};
        if (stat((std::string(runtime) + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) return;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
}

[[noreturn]] void endProcess() {
    removeToolkitRuntimeDirectory();
    std::fflush(nullptr);
    std::_Exit(0);
}

// The xcb platform plugin ends the process with exit(1) from inside the event loop when its
// connection to the X server breaks: no event announces it, and the exit handlers are the only
// place where this process still runs on the main thread afterwards. Registered once the
// toolkit has started, so it runs before the handlers registered earlier (destructors of
// statics made until then); the capture engine, which still runs, keeps no static that a
// destructor would tear down.
void onExit() {
    if (gTerminating || gDelegate == nullptr || !Application::isMainThread() || !x11::connectionLost()) return;
    gTerminating = true;
    gDelegate->applicationDidLoseDisplay();
    endProcess();
}

// Whether the X server named by DISPLAY accepts a connection. Asked before the toolkit starts,
// because Qt aborts the process when it cannot connect.
bool displayReachable() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return false;
    // The probe connection stays open for the life of the process: an X server that resets
    // when its last client leaves (Xvfb without -noreset) would otherwise be mid-reset when
    // the toolkit connects a moment later, and the toolkit aborts on a failed connection.
    static xcb_connection_t* probe = nullptr;
    if (probe == nullptr) probe = xcb_connect(nullptr, nullptr);
    return probe != nullptr && xcb_connection_has_error(probe) == 0;
}

}  // namespace

bool Application::open(int& argc, char** argv) {
    if (gOpened) return gOpenAnswer;
    gOpened = true;
    qInstallMessageHandler(dropMessage);
    keepSessionBusFromStarting();
    noteToolkitRuntimeDirectory();
    if (!displayReachable()) return gOpenAnswer = false;
    // This tool speaks X11: whatever platform a desktop session names (wayland, "wayland;xcb",
    // ...), the toolkit never picks another one.
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // One point is one X pixel everywhere in this tool: the capture engine, the shapes and the
    // snapshots speak X pixels, so the toolkit's own scaling (from the desktop's Xft.dpi or a
    // scale variable) would put windows and printed regions in another space.
    unsetenv("QT_SCALE_FACTOR");
    unsetenv("QT_SCREEN_SCALE_FACTORS");
    setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
    gApp = new QApplication(argc, argv);  // lives until the process ends
    gApp->setQuitOnLastWindowClosed(false);
    std::atexit(onExit);
    removeToolkitRuntimeDirectory();
    gShared = new Application();
    gFocusAtLaunch = x11::inputFocus();
    return gOpenAnswer = true;
}

Application& Application::shared() { return *gShared; }

void Application::setActivationPolicy(ActivationPolicy) {
    // Every window of this layer is a utility or unmanaged window, so none gets a taskbar or
    // pager entry: the accessory policy is how windows are made, nothing to switch here.
}

void Application::setDelegate(ApplicationDelegate* delegate) { gDelegate = delegate_ = delegate; }

int Application::run() {
    if (delegate_) {
        ApplicationDelegate* delegate = delegate_;
        QTimer::singleShot(0, gApp, [delegate] { delegate->applicationDidFinishLaunching(); });
    }
    return QApplication::exec();
}

void Application::activateIgnoringOtherApps(bool) {
    for (Window* w : liveWindows()) {
        if (w->isKeyWindow()) {
            w->impl().widget->activateWindow();
            w->impl().widget->setFocus(Qt::OtherFocusReason);
        }
    }
}

void Application::orderOutAllWindowsAndSync() {
    for (Window* w : liveWindows()) w->orderOut();
    QCoreApplication::sendPostedEvents();
    x11::sync();
}

void Application::terminate() {
    gTerminating = true;
    orderOutAllWindowsAndSync();
    // Without a window manager nobody hands the keyboard back when our focused window goes:
    // it would stay on the root. Give it back as it was (to a window, or following the
    // pointer), unless another application took it meanwhile.
    const std::uint32_t focus = x11::inputFocus();
    const bool oursOrNobodys = focus <= x11::kFocusPointerRoot || focus == x11::rootWindow() || x11::createdHere(focus);
    if (focus != gFocusAtLaunch && oursOrNobodys && !x11::hasWindowManager()) {
        x11::restoreInputFocus(gFocusAtLaunch);
        x11::sync();
    }
    // The toolkit's teardown is skipped on purpose: it is not safe from inside an event
    // handler, and every owner has finished its work before asking to end.
    endProcess();
}

MainQueue Application::mainQueue() {
    return [](MainTask task) {
        QMetaObject::invokeMethod(gApp, std::move(task), Qt::QueuedConnection);
    };
}

bool Application::isMainThread() {
    return gApp != nullptr && QThread::currentThread() == gApp->thread();
}

bool Application::hasCompositingManager() const { return x11::hasCompositingManager(); }

}  // namespace kg
