#include "tests/support/process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>

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

DefaultSignalsSpawnAttr::DefaultSignalsSpawnAttr() {
    posix_spawnattr_init(&attr_);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr_, &none);
    posix_spawnattr_setsigdefault(&attr_, &all);
    posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argvIn, const ProcessOptions& options) {
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (const auto eq = entry.find('='); eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& name : options.unsetEnv) merged.erase(name);
    for (const auto& [k, v] : options.env) merged[k] = v;
    std::vector<std::string> argv = argvIn, env;
    for (const auto& [k, v] : merged) env.push_back(k + "=" + v);
    auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> p;
        for (auto& s : strings) p.push_back(s.data());
        p.push_back(nullptr);
        return p;
    };
    auto argvPtrs = pointers(argv), envPtrs = pointers(env);

    int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        for (int fd : {outPipe[0], outPipe[1]}) if (fd >= 0) ::close(fd);
        throw std::runtime_error("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const DefaultSignalsSpawnAttr attr;
    const int rc = ::posix_spawn(&pid_, argv[0].c_str(), &actions, attr.get(), argvPtrs.data(), envPtrs.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    fds_[0] = outPipe[0];
    fds_[1] = errPipe[0];
    if (rc != 0) {
        for (int& fd : fds_) ::close(fd);
        throw std::runtime_error("posix_spawn " + argv[0] + ": " + std::strerror(rc));
    }
}

BackgroundProcess::~BackgroundProcess() {
    if (!reaped_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (int& fd : fds_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
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
    while (fds_[0] >= 0 || fds_[1] >= 0) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result_.timedOut = true;
            ::kill(pid_, SIGKILL);
            break;
        }
        pump(std::min(left, milliseconds(100)));
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
