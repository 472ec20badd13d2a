#include "tests/support/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kg::test {

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const auto candidate = std::filesystem::path(dir) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return {};
}

XvfbServer::XvfbServer(int width, int height) : width_(width), height_(height) {
    const std::string xvfb = findProgram("Xvfb");
    if (xvfb.empty()) throw std::runtime_error("Xvfb is not installed");
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);

    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    std::vector<std::string> args = {xvfb, "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                                     "-nolisten", "tcp", "-noreset", "+extension", "RANDR",
                                     "+extension", "Composite", "+extension", "DAMAGE"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // The server starts with default signal handling, so the SIGTERM that stops it is never lost.
    const DefaultSignalsSpawnAttr attr;
    const int rc = ::posix_spawn(&pid_, xvfb.c_str(), &actions, attr.get(), argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        throw std::runtime_error("cannot start Xvfb");
    }
    // Xvfb writes the display number once it accepts connections.
    std::string number;
    pollfd pfd{fds[0], POLLIN, 0};
    while (::poll(&pfd, 1, 15000) > 0) {
        char c;
        if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    ::close(fds[0]);
    if (number.empty()) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        throw std::runtime_error("Xvfb did not start");
    }
    display_ = ":" + number;
}

XvfbServer::~XvfbServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    // A server that does not end within 5 s is killed, so a test never hangs here.
    for (int i = 0; i < 100; ++i) {
        const pid_t reaped = ::waitpid(pid_, nullptr, WNOHANG);
        if (reaped == pid_ || (reaped < 0 && errno != EINTR)) return;
        ::usleep(50'000);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

ProcessOptions XvfbServer::clientOptions() const {
    ProcessOptions options;
    options.env["DISPLAY"] = display_;
    options.env["QT_QPA_PLATFORM"] = "xcb";
    options.unsetEnv = {"WAYLAND_DISPLAY"};
    return options;
}

ProcessResult XvfbServer::run(const std::vector<std::string>& argv) const {
    std::vector<std::string> full = argv;
    if (!full.empty() && full[0].find('/') == std::string::npos) full[0] = findProgram(full[0]);
    return runProcess(full, clientOptions());
}

}  // namespace kg::test
