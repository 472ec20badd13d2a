#include "tests/support/wayland/desktop_service.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "tests/support/xvfb.h"

extern char** environ;

namespace kg::test {

DesktopService::DesktopService(std::string name, const std::vector<std::string>& argvIn, std::string logPath,
                               const std::map<std::string, std::string>& env, const std::vector<std::string>& unset)
    : name_(std::move(name)), logPath_(std::move(logPath)) {
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const auto eq = entry.find('=');
        if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& variable : unset) merged.erase(variable);
    for (const auto& [k, v] : env) merged[k] = v;
    std::vector<std::string> envStrings;
    for (const auto& [k, v] : merged) envStrings.push_back(k + "=" + v);
    // setpriv execs the program in its own place, keeping the parent-death signal.
    std::vector<std::string> argv = {findProgram("setpriv"), "--pdeathsig", "TERM"};
    argv.insert(argv.end(), argvIn.begin(), argvIn.end());
    std::vector<char*> envp, args;
    for (auto& e : envStrings) envp.push_back(e.data());
    for (auto& a : argv) args.push_back(a.data());
    envp.push_back(nullptr);
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    const int rc = ::posix_spawn(&pid_, args[0], &actions, &attr, args.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argvIn.at(0) + " (is util-linux's setpriv installed?)");
}

bool DesktopService::ended() const {
    if (pid_ <= 0) return true;
    siginfo_t info{};
    // WNOWAIT leaves the leader a zombie, so its group id stays ours until stop() reaps it.
    return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == pid_;
}

void DesktopService::stop() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!ended() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::kill(-pid_, SIGKILL);  // whatever is left of the group
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

}  // namespace kg::test
