#pragma once
// A private X server for a test: Xvfb on a free display number (found with -displayfd, so
// concurrent test runs never collide), stopped when the object goes away.

#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/process_runner.h"

namespace kg::test {

// A program running in the background for a test's lifetime with its output thrown away
// (a server or desktop daemon nobody reads from), started with default signal handling and
// ended with SIGTERM, then SIGKILL after 5 s. `env` is added to the test's environment;
// descriptors without FD_CLOEXEC are inherited.
class Daemon {
public:
    Daemon(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {});
    ~Daemon();
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;
    // False once the program has ended.
    [[nodiscard]] bool running();

private:
    pid_t pid_ = -1;
};

class XvfbServer {
public:
    explicit XvfbServer(int width = 1280, int height = 800);
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    [[nodiscard]] const std::string& display() const { return display_; }  // ":N"
    [[nodiscard]] int width() const { return width_; }
    [[nodiscard]] int height() const { return height_; }

    // Options for a child that should talk to this server (DISPLAY set, Qt on xcb).
    [[nodiscard]] ProcessOptions clientOptions() const;
    // Runs a tool such as xdotool against this server; returns its result.
    ProcessResult run(const std::vector<std::string>& argv) const;

private:
    std::unique_ptr<Daemon> server_;
    std::string display_;
    int width_;
    int height_;
};

// Absolute path of a program on PATH, or empty.
[[nodiscard]] std::string findProgram(const std::string& name);

}  // namespace kg::test
