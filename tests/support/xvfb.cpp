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

Daemon::Daemon(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
    std::vector<std::string> strings = args;
    if (!strings.empty() && strings[0].find('/') == std::string::npos) strings[0] = findProgram(strings[0]);
    if (strings.empty() || strings[0].empty()) throw std::runtime_error("not installed: " + args.at(0));
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!env.contains(entry.substr(0, entry.find('=')))) envStrings.push_back(entry);
    }
    for (const auto& [k, v] : env) envStrings.push_back(k + "=" + v);
    std::vector<char*> argv, envp;
    for (auto& a : strings) argv.push_back(a.data());
    for (auto& e : envStrings) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Default signal handling, so the SIGTERM that stops it is never lost.
    const DefaultSignalsSpawnAttr attr;
    const int rc = ::posix_spawn(&pid_, argv[0], &actions, attr.get(), argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
}

bool Daemon::running() { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

Daemon::~Daemon() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        const pid_t reaped = ::waitpid(pid_, nullptr, WNOHANG);
        if (reaped == pid_ || (reaped < 0 && errno != EINTR)) return;
        ::usleep(50'000);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

XvfbServer::XvfbServer(int width, int height) : width_(width), height_(height) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    try {
        server_ = std::make_unique<Daemon>(
            std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten",
                                     "tcp", "-noreset", "+extension", "RANDR", "+extension", "Composite", "+extension",
                                     "DAMAGE"},
            std::map<std::string, std::string>{});
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

ProcessResult XvfbServer::run(const std::vector<std::string>& argv) const {
    std::vector<std::string> full = argv;
    if (!full.empty() && full[0].find('/') == std::string::npos) full[0] = findProgram(full[0]);
    return runProcess(full, clientOptions());
}

}  // namespace kg::test
