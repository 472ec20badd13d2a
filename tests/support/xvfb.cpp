#include "tests/support/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <stdexcept>

namespace kg::test {

XvfbServer::XvfbServer(int width, int height) : width_(width), height_(height) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    try {
        server_ = std::make_unique<Daemon>(
            std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten",
                                     "tcp", "-noreset", "+extension", "RANDR", "+extension", "Composite", "+extension",
                                     "DAMAGE"});
    } catch (...) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw;
    }
    ::close(fds[1]);
    // Xvfb writes the display number once it accepts connections.
    std::string number;
    pollfd pfd{fds[0], POLLIN, 0};
    while (::poll(&pfd, 1, 15000) > 0) {
        char c;
        if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    ::close(fds[0]);
    if (number.empty()) throw std::runtime_error("Xvfb did not start");
    display_ = ":" + number;
}

ProcessOptions XvfbServer::clientOptions() const {
    ProcessOptions options;
    options.env["DISPLAY"] = display_;
    options.env["QT_QPA_PLATFORM"] = "xcb";
    options.unsetEnv = {"WAYLAND_DISPLAY"};
    return options;
}

ProcessResult XvfbServer::run(const std::vector<std::string>& argv) const { return runProcess(argv, clientOptions()); }

}  // namespace kg::test
