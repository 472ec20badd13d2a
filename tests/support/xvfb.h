#pragma once
// A private X server for a test: Xvfb on a free display number (found with -displayfd, so
// concurrent test runs never collide), stopped when the object goes away.

#include <memory>
#include <string>
#include <vector>

#include "tests/support/process_runner.h"

namespace kg::test {

class XvfbServer {
public:
    explicit XvfbServer(int width = 1280, int height = 800);
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    [[nodiscard]] const std::string& display() const { return display_; }  // ":N"
    [[nodiscard]] pid_t pid() const { return server_->pid(); }  // the server's process
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

}  // namespace kg::test
