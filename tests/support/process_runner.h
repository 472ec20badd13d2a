#pragma once
// Child processes of a test: the built executable (or a tool) driven from outside the way a
// controlling program does, its output collected; and the daemons (X server, sound servers,
// desktop processes) a fixture runs for its lifetime, their output in a log.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kg::test {

struct ProcessResult {
    int exitStatus = -1;  // -1 when the child did not exit normally
    int termSignal = 0;   // the signal that ended the child, if any
    bool timedOut = false;
    std::string out, err;

    // Standard output, one JSON value per line (a line that is not JSON fails the calling test).
    [[nodiscard]] std::vector<nlohmann::json> lines() const;
};

struct ProcessOptions {
    std::map<std::string, std::string> env;  // added to (or replacing in) the test's environment
    std::vector<std::string> unsetEnv;
    std::chrono::milliseconds timeout{60000};  // runProcess's limit
    // A daemon's: standard output and error go to this file ("/dev/null" to drop them) instead
    // of being collected, so a daemon nobody reads never blocks on a full pipe.
    std::string logPath;
    bool ownProcessGroup = false;    // stop() ends the whole group, so also what the child started
    bool parentDeathSignal = false;  // SIGTERM when the test dies (util-linux's setpriv), so a
                                     // test killed on its time-out leaves nothing running
    std::chrono::milliseconds stopGrace{0};  // between stop()'s SIGTERM and its SIGKILL
};

// Absolute path of a program on PATH, or empty.
[[nodiscard]] std::string findProgram(const std::string& name);
// `name` itself when it is a path, else findProgram(name); throws std::runtime_error when it
// is not installed. Every child below is started through it.
[[nodiscard]] std::string requireProgram(const std::string& name);

// A child started in the background, standard input /dev/null, with an empty signal mask and
// default dispositions so a signal meant for it is never lost. Descriptors without FD_CLOEXEC
// are inherited. Destruction stops a child that still runs. Main thread only.
class BackgroundProcess {
public:
    BackgroundProcess(std::vector<std::string> argv, const ProcessOptions& options = {});
    ~BackgroundProcess() { stop(); }
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    [[nodiscard]] pid_t pid() const { return pid_; }
    [[nodiscard]] bool running() const;  // false once the program has ended
    [[nodiscard]] const std::string& logPath() const { return options_.logPath; }
    // "; its log:" and the end of the log, for an error message; empty without a log.
    [[nodiscard]] std::string logTail() const;
    // Waits until standard output holds `count` lines or the time is up; returns it so far.
    std::string waitForLines(std::size_t count, std::chrono::milliseconds timeout);
    void signal(int signo) const;
    // Waits for the end (SIGKILL on time-out) and returns everything.
    ProcessResult wait(std::chrono::milliseconds timeout);
    void stop();  // SIGTERM, then SIGKILL after the grace time; idempotent

private:
    void pump(std::chrono::milliseconds budget);
    ProcessOptions options_;
    pid_t pid_ = -1;
    int fds_[2] = {-1, -1};  // standard output, standard error, when collected
    bool reaped_ = false;
    ProcessResult result_;
};

// Polls `ready` every `interval` until it holds; throws std::runtime_error naming `what` (and
// the daemon's log) when one of `daemons` (null ones skipped) ends first or `timeout` passes.
void waitUntil(const std::string& what, const std::function<bool()>& ready,
               const std::vector<const BackgroundProcess*>& daemons, std::chrono::milliseconds timeout,
               std::chrono::milliseconds interval = std::chrono::milliseconds(20));

// Runs the program and waits for it.
ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

}  // namespace kg::test
