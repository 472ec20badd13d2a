#pragma once
// Runs a program as a child process and collects what it wrote, for tests that drive the built
// executable (or a server) from outside, the way a controlling program does.

#include <spawn.h>
#include <sys/types.h>

#include <chrono>
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
    std::map<std::string, std::string> env;  // added to (or replacing in) the current environment
    std::vector<std::string> unsetEnv;
    std::chrono::milliseconds timeout{60000};
};

// Spawn attributes that start a child with an empty signal mask and default dispositions,
// whatever the test has blocked or ignored (so a SIGTERM or SIGUSR1 meant for it is never lost).
class DefaultSignalsSpawnAttr {
public:
    DefaultSignalsSpawnAttr();
    ~DefaultSignalsSpawnAttr() { posix_spawnattr_destroy(&attr_); }
    DefaultSignalsSpawnAttr(const DefaultSignalsSpawnAttr&) = delete;
    DefaultSignalsSpawnAttr& operator=(const DefaultSignalsSpawnAttr&) = delete;
    [[nodiscard]] const posix_spawnattr_t* get() const { return &attr_; }

private:
    posix_spawnattr_t attr_;
};

// A child started in the background (argv[0] is a path, standard input /dev/null); its output
// is collected until it ends. Destruction kills a child that still runs.
class BackgroundProcess {
public:
    BackgroundProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    [[nodiscard]] pid_t pid() const { return pid_; }
    // Waits until standard output holds `count` lines or the time is up; returns it so far.
    std::string waitForLines(std::size_t count, std::chrono::milliseconds timeout);
    void signal(int signo) const;
    // Waits for the end (SIGKILL on time-out) and returns everything.
    ProcessResult wait(std::chrono::milliseconds timeout);

private:
    void pump(std::chrono::milliseconds budget);
    pid_t pid_ = -1;
    int fds_[2] = {-1, -1};  // standard output, standard error
    bool reaped_ = false;
    ProcessResult result_;
};

// Runs the program and waits for it.
ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

}  // namespace kg::test
