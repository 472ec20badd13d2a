#include "tests/support/pulse_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "tests/support/xvfb.h"

extern char** environ;

namespace kg::test {

std::vector<std::string> PulseServer::childEnvironment() const {
    std::vector<std::string> entries;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!env_.contains(entry.substr(0, entry.find('=')))) entries.push_back(entry);
    }
    for (const auto& [key, value] : env_) entries.push_back(key + "=" + value);
    return entries;
}

pid_t PulseServer::spawn(std::vector<std::string> args, const std::string& outputPath) const {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    auto envStrings = childEnvironment();
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

PulseServer::PulseServer() {
    // A daemon or reader already started must not outlive a constructor that gives up.
    try {
        start();
    } catch (...) {
        shutDown();
        throw;
    }
}

void PulseServer::start() {
    const std::string pulseaudio = findProgram("pulseaudio");
    if (pulseaudio.empty()) throw std::runtime_error("pulseaudio is not installed");
    const std::string base = dir_.path().string();
    const std::string socket = base + "/native";
    env_ = {{"PULSE_SERVER", "unix:" + socket},
            {"PULSE_RUNTIME_PATH", base},
            {"XDG_RUNTIME_DIR", base},
            {"HOME", base}};

    std::vector<std::string> args = {pulseaudio, "--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no",
                                     "--disallow-exit", "--log-target=stderr",
                                     "--load=module-native-protocol-unix socket=" + socket + " auth-anonymous=1",
                                     "--load=module-null-sink sink_name=out",
                                     "--load=module-null-sink sink_name=micsink"};
    // The daemon's chatter goes to a file, never to a pipe nobody reads.
    const std::string log = base + "/pulseaudio.log";
    pid_ = spawn(std::move(args), log);
    if (pid_ < 0) throw std::runtime_error("cannot start pulseaudio");

    // The daemon gives no readiness signal; ask it until it answers.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    for (;;) {
        if (pactl({"info"}).exitStatus == 0) break;
        const bool ended = ::waitpid(pid_, nullptr, WNOHANG) == pid_;
        if (ended) pid_ = -1;  // reaped already
        if (ended || std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("pulseaudio did not start: " + readFile(log));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (pactl({"set-default-sink", "out"}).exitStatus != 0 ||
        pactl({"set-default-source", "micsink.monitor"}).exitStatus != 0) {
        throw std::runtime_error("cannot set pulseaudio's default devices");
    }
    spawnReader("out.monitor");
    spawnReader("micsink.monitor");
    waitForLowLatency();
}

void PulseServer::spawnReader(const std::string& monitor) {
    const std::string parec = findProgram("parec");
    const pid_t pid = spawn({parec, "--device=" + monitor, "--latency-msec=10", "--raw"}, "/dev/null");
    if (pid < 0) throw std::runtime_error("cannot start parec");
    readers_.push_back(pid);
}

void PulseServer::waitForLowLatency() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool restarted = false;
    for (;;) {
        if (!restarted) {
            // Once both readers are attached, restarting an output drops what it had rendered
            // ahead; from then on it renders in the small blocks the readers ask for.
            const auto outputs = pactl({"list", "short", "source-outputs"}).out;
            if (std::count(outputs.begin(), outputs.end(), '\n') >= 2) {
                for (const char* sink : {"out", "micsink"}) {
                    pactl({"suspend-sink", sink, "1"});
                    pactl({"suspend-sink", sink, "0"});
                }
                restarted = true;
            }
        } else {
            const auto sinks = pactl({"list", "sinks"}).out;
            int seen = 0;
            int low = 0;
            for (auto at = sinks.find("\tLatency: "); at != std::string::npos; at = sinks.find("\tLatency: ", at + 1)) {
                ++seen;
                if (std::stoll(sinks.substr(at + 10)) < 50'000) ++low;
            }
            if (seen == 2 && low == 2) return;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("pulseaudio's outputs keep a long latency");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

PulseServer::~PulseServer() { shutDown(); }

void PulseServer::shutDown() {
    for (const pid_t reader : readers_) {
        ::kill(reader, SIGTERM);
        ::waitpid(reader, nullptr, 0);
    }
    readers_.clear();
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

void PulseServer::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

void PulseServer::exportToThisProcess() const {
    for (const auto& [key, value] : env_) ::setenv(key.c_str(), value.c_str(), 1);
}

ProcessResult PulseServer::pactl(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {findProgram("pactl")};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessOptions options;
    options.env = env_;
    options.timeout = std::chrono::milliseconds(10000);
    return runProcess(argv, options);
}

}  // namespace kg::test
