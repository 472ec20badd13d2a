#pragma once
// The application object: the event loop on the main thread and the process's end.
//
// Call open() first, on the main thread, before any other platform/ facility. Everything here
// is main thread only except mainQueue() posting, which any thread may use.

#include <cstdio>

#include "platform/main_queue.h"

namespace kg {

enum class ActivationPolicy {
    Regular = 0,
    Accessory = 1,  // no taskbar or pager entry; windows still show
    Prohibited = 2,
};

class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;
    // Called once, on the main thread, after run() has started the event loop.
    virtual void applicationDidFinishLaunching() = 0;
    // Called at most once, on the main thread, when the connection to the X server has broken
    // (the server ended, the session closed). The toolkit cannot go on: windows are gone, the
    // event loop never runs again and main-queue tasks posted from now on never run. The
    // delegate finishes what it can without them (other threads still run) and prints its
    // last result line; when it returns, the process ends with status 0.
    virtual void applicationDidLoseDisplay() = 0;
};

// The reason given when the display went away, in the words of the result lines.
inline constexpr const char* kDisplayLostReason = "the connection to the X server was lost";

class Application {
public:
    // Connects to the display and creates the toolkit's application. Returns false, having
    // printed nothing, when the X server cannot be reached (the caller reports it). Before the
    // toolkit starts, every toolkit log message is silenced for the life of the process, so
    // nothing ever reaches standard error. Calling it again returns the first answer.
    static bool open(int& argc, char** argv);
    // The application created by open(). Undefined before it.
    static Application& shared();

    void setActivationPolicy(ActivationPolicy policy);
    // Not owned: the delegate must outlive run().
    void setDelegate(ApplicationDelegate* delegate);
    // Runs the event loop until terminate(); returns its status if the loop ever ends.
    int run();
    // Asks for the keyboard to come to this application's key window.
    void activateIgnoringOtherApps(bool flag = true);
    // Ends the process with status 0: takes every window off the screen and waits until the X
    // server has confirmed it, flushes standard output, then exits without running the
    // toolkit's teardown (owners have finished their own work before calling this).
    [[noreturn]] void terminate();

    // Runs a task later on the main thread, in posting order. The returned function may be
    // copied and called from any thread while the process runs.
    [[nodiscard]] MainQueue mainQueue();
    [[nodiscard]] static bool isMainThread();

    // Whether a compositing manager runs on the display (translucency blends with what lies
    // below).
    [[nodiscard]] bool hasCompositingManager() const;
    // Takes every window of this process off the screen and returns once the X server has
    // processed it. terminate() does this itself; callers that print a result another process
    // reacts to call it before printing.
    void orderOutAllWindowsAndSync();

private:
    Application() = default;
    ApplicationDelegate* delegate_ = nullptr;
};

}  // namespace kg
