#pragma once
// Runs a program as a child process and collects what it wrote, for tests that exercise the
// built executable from outside, the way a controlling program does.

#include <spawn.h>
#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kg::test {

struct ProcessResult {
    int exitStatus = -1;   // exit status, or -1 when the child did not exit normally
    int termSignal = 0;    // the signal that ended the child, if any
    bool timedOut = false;
    std::string out;
    std::string err;

    // Standard output split on line feeds, each line parsed as JSON (a line that is not JSON
    // fails the calling test).
    [[nodiscard]] std::vector<nlohmann::json> lines() const;
};

struct ProcessOptions {
    std::map<std::string, std::string> env;  // added to (or replacing in) the current environment
    std::vector<std::string> unsetEnv;
    std::chrono::milliseconds timeout{60000};
    std::string workingDirectory;
};

// Spawn attributes that start a child with an empty signal mask and default dispositions,
// whatever the test has blocked or ignored (so a SIGTERM or SIGUSR1 meant for it is never lost).
class DefaultSignalsSpawnAttr {
public:
    DefaultSignalsSpawnAttr();
    ~DefaultSignalsSpawnAttr();
    DefaultSignalsSpawnAttr(const DefaultSignalsSpawnAttr&) = delete;
    DefaultSignalsSpawnAttr& operator=(const DefaultSignalsSpawnAttr&) = delete;
    [[nodiscard]] const posix_spawnattr_t* get() const { return &attr_; }

private:
    posix_spawnattr_t attr_;
};

// Runs argv[0] (a path) with the arguments and waits for it. On time-out the child gets
// SIGKILL.
ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// A child started in the background; its output is collected until it ends.
class BackgroundProcess {
public:
    BackgroundProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});
    ~BackgroundProcess();  // kills the child if it still runs
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    [[nodiscard]] pid_t pid() const { return pid_; }
    // Waits until standard output holds at least `count` lines, or the time is up; returns
    // the output so far.
    std::string waitForLines(std::size_t count, std::chrono::milliseconds timeout);
    void signal(int signo) const;
    // Waits for the end and returns everything.
    ProcessResult wait(std::chrono::milliseconds timeout);

private:
    void pump(std::chrono::milliseconds budget);
    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    bool reaped_ = false;
    ProcessResult result_;
};

}  // namespace kg::test
