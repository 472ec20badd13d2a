#include "tests/support/process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kg::test {

std::vector<nlohmann::json> ProcessResult::lines() const {
    std::vector<nlohmann::json> parsed;
    std::istringstream stream(out);
    std::string line;
    while (std::getline(stream, line)) {
        auto value = nlohmann::json::parse(line, nullptr, false);
        EXPECT_FALSE(value.is_discarded()) << "not a JSON line: " << line;
        parsed.push_back(std::move(value));
    }
    return parsed;
}

namespace {

std::vector<std::string> buildEnvironment(const ProcessOptions& options) {
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        const auto eq = entry.find('=');
        if (eq == std::string::npos) continue;
        merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& name : options.unsetEnv) merged.erase(name);
    for (const auto& [k, v] : options.env) merged[k] = v;
    std::vector<std::string> env;
    for (const auto& [k, v] : merged) env.push_back(k + "=" + v);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

DefaultSignalsSpawnAttr::DefaultSignalsSpawnAttr() {
    posix_spawnattr_init(&attr_);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr_, &none);
    posix_spawnattr_setsigdefault(&attr_, &all);
    posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

DefaultSignalsSpawnAttr::~DefaultSignalsSpawnAttr() { posix_spawnattr_destroy(&attr_); }

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argvIn, const ProcessOptions& options) {
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        throw std::runtime_error("pipe");
    }
    std::vector<std::string> argv = argvIn;
    std::vector<std::string> env = buildEnvironment(options);
    auto argvPtrs = pointers(argv);
    auto envPtrs = pointers(env);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!options.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    const DefaultSignalsSpawnAttr attr;
    const int rc = ::posix_spawn(&pid_, argv[0].c_str(), &actions, attr.get(), argvPtrs.data(), envPtrs.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
    if (rc != 0) {
        ::close(outFd_);
        ::close(errFd_);
        throw std::runtime_error(std::string("posix_spawn ") + argv[0] + ": " + std::strerror(rc));
    }
}

BackgroundProcess::~BackgroundProcess() {
    if (!reaped_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (outFd_ >= 0) ::close(outFd_);
    if (errFd_ >= 0) ::close(errFd_);
}

void BackgroundProcess::pump(std::chrono::milliseconds budget) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    const int n = ::poll(fds, 2, static_cast<int>(budget.count()));
    if (n <= 0) return;
    char buf[65536];
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
        if (got > 0) {
            (i == 0 ? result_.out : result_.err).append(buf, static_cast<std::size_t>(got));
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            ::close(fds[i].fd);
            (i == 0 ? outFd_ : errFd_) = -1;
        }
    }
}

std::string BackgroundProcess::waitForLines(std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (outFd_ >= 0) {
        std::size_t lines = 0;
        for (char c : result_.out) lines += (c == '\n');
        if (lines >= count) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pump(std::min(left, std::chrono::milliseconds(100)));
    }
    return result_.out;
}

void BackgroundProcess::signal(int signo) const {
    if (!reaped_) ::kill(pid_, signo);
}

ProcessResult BackgroundProcess::wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (outFd_ >= 0 || errFd_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result_.timedOut = true;
            ::kill(pid_, SIGKILL);
            break;
        }
        pump(std::min(left, std::chrono::milliseconds(100)));
    }
    if (!reaped_) {
        int status = 0;
        if (result_.timedOut) ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        if (WIFEXITED(status)) result_.exitStatus = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result_.termSignal = WTERMSIG(status);
    }
    return result_;
}

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    BackgroundProcess process(argv, options);
    return process.wait(options.timeout);
}

}  // namespace kg::test
