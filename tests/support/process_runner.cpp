#include "tests/support/process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace kg::test {

using std::chrono::milliseconds;

std::vector<nlohmann::json> ProcessResult::lines() const {
    std::vector<nlohmann::json> parsed;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);) {
        parsed.push_back(nlohmann::json::parse(line, nullptr, false));
        EXPECT_FALSE(parsed.back().is_discarded()) << "not a JSON line: " << line;
    }
    return parsed;
}

namespace {

struct FileActions {
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t actions;
};

// Starts argv (argv[0] a path or a program on PATH) in the test's environment without `unset`
// and with `env` added, with an empty signal mask and default dispositions whatever the test
// has blocked or ignored (so a SIGTERM or SIGUSR1 meant for the child is never lost).
pid_t spawn(std::vector<std::string> argv, const std::map<std::string, std::string>& env,
            const std::vector<std::string>& unset, const FileActions& actions, bool ownProcessGroup) {
    argv[0] = requireProgram(argv.at(0));
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (const auto eq = entry.find('='); eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& name : unset) merged.erase(name);
    for (const auto& [k, v] : env) merged[k] = v;
    std::vector<std::string> envStrings;
    for (const auto& [k, v] : merged) envStrings.push_back(k + "=" + v);
    auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> p;
        for (auto& s : strings) p.push_back(s.data());
        p.push_back(nullptr);
        return p;
    };
    auto argvPtrs = pointers(argv), envPtrs = pointers(envStrings);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (ownProcessGroup) {
        posix_spawnattr_setpgroup(&attr, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attr, flags);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0].c_str(), &actions.actions, &attr, argvPtrs.data(), envPtrs.data());
    posix_spawnattr_destroy(&attr);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    return pid;
}

}  // namespace

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const auto candidate = std::filesystem::path(dir) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return {};
}

std::string requireProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    const std::string path = findProgram(name);
    if (path.empty()) throw std::runtime_error(name + " is not installed (scripts/install-deps.sh installs it)");
    return path;
}

BackgroundProcess::BackgroundProcess(std::vector<std::string> argv, const ProcessOptions& options) : options_(options) {
    // setpriv execs the program in its own place, keeping the parent-death signal.
    if (options_.parentDeathSignal) argv.insert(argv.begin(), {"setpriv", "--pdeathsig", "TERM"});
    int pipes[2][2] = {{-1, -1}, {-1, -1}};  // standard output, standard error
    const auto closePipes = [&](int end) {
        for (auto& p : pipes)
            if (p[end] >= 0) ::close(p[end]);
    };
    FileActions actions;
    posix_spawn_file_actions_addopen(&actions.actions, 0, "/dev/null", O_RDONLY, 0);
    if (options_.logPath.empty()) {
        if (::pipe2(pipes[0], O_CLOEXEC) != 0 || ::pipe2(pipes[1], O_CLOEXEC) != 0) {
            closePipes(0), closePipes(1);
            throw std::runtime_error("pipe");
        }
        posix_spawn_file_actions_adddup2(&actions.actions, pipes[0][1], 1);
        posix_spawn_file_actions_adddup2(&actions.actions, pipes[1][1], 2);
    } else {
        posix_spawn_file_actions_addopen(&actions.actions, 1, options_.logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions.actions, 1, 2);
    }
    try {
        pid_ = spawn(argv, options_.env, options_.unsetEnv, actions, options_.ownProcessGroup);
    } catch (...) {
        closePipes(0), closePipes(1);
        throw;
    }
    closePipes(1);
    fds_[0] = pipes[0][0];
    fds_[1] = pipes[1][0];
}

bool BackgroundProcess::running() const {
    if (pid_ <= 0 || reaped_) return false;
    siginfo_t info{};
    // WNOWAIT leaves an ended child a zombie, so its pid (and group id) stays ours until reaped.
    return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != pid_;
}

void BackgroundProcess::stop() {
    if (pid_ > 0 && !reaped_) {
        const pid_t target = options_.ownProcessGroup ? -pid_ : pid_;
        ::kill(target, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + options_.stopGrace;
        while (running() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(milliseconds(20));
        ::kill(target, SIGKILL);  // whatever is left
        ::waitpid(pid_, nullptr, 0);
        reaped_ = true;
    }
    for (int& fd : fds_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

std::string BackgroundProcess::logTail() const {
    if (options_.logPath.empty() || options_.logPath == "/dev/null") return {};
    const std::string text = readFile(options_.logPath);
    return "; its log:\n" + (text.size() > 2000 ? "..." + text.substr(text.size() - 2000) : text);
}

void waitUntil(const std::string& what, const std::function<bool()>& ready,
               const std::vector<const BackgroundProcess*>& daemons, milliseconds timeout, milliseconds interval) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ready()) {
        for (const BackgroundProcess* daemon : daemons)
            if (daemon && !daemon->running()) throw std::runtime_error(what + ": the program ended" + daemon->logTail());
        if (std::chrono::steady_clock::now() > deadline) {
            const std::string log = daemons.size() == 1 && daemons[0] ? daemons[0]->logTail() : "";
            throw std::runtime_error(what + ": not within " + std::to_string(timeout.count() / 1000) + " s" + log);
        }
        std::this_thread::sleep_for(interval);
    }
}

void BackgroundProcess::pump(milliseconds budget) {
    pollfd fds[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
    if (::poll(fds, 2, static_cast<int>(budget.count())) <= 0) return;
    char buf[65536];
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
        if (got > 0) {
            (i == 0 ? result_.out : result_.err).append(buf, static_cast<std::size_t>(got));
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            ::close(fds_[i]);
            fds_[i] = -1;
        }
    }
}

std::string BackgroundProcess::waitForLines(std::size_t count, milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (fds_[0] >= 0 && static_cast<std::size_t>(std::count(result_.out.begin(), result_.out.end(), '\n')) < count) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pump(std::min(left, milliseconds(100)));
    }
    return result_.out;
}

void BackgroundProcess::signal(int signo) const {
    if (!reaped_) ::kill(pid_, signo);
}

ProcessResult BackgroundProcess::wait(milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (fds_[0] >= 0 || fds_[1] >= 0 || running()) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result_.timedOut = true;
            ::kill(pid_, SIGKILL);
            break;
        }
        if (fds_[0] >= 0 || fds_[1] >= 0) pump(std::min(left, milliseconds(100)));
        else std::this_thread::sleep_for(std::min(left, milliseconds(20)));
    }
    if (!reaped_) {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        if (WIFEXITED(status)) result_.exitStatus = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result_.termSignal = WTERMSIG(status);
    }
    return result_;
}

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    return BackgroundProcess(argv, options).wait(options.timeout);
}

}  // namespace kg::test
