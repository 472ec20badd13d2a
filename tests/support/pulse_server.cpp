#include "tests/support/pulse_server.h"

#include <chrono>
#include <cstdlib>

namespace kg::test {

std::string soundServerName(SoundServerKind kind) { return kind == SoundServerKind::PipeWire ? "PipeWire" : "PulseAudio"; }

PulseServer::PulseServer(SoundServerKind kind) {
    const std::string base = dir_.path().string();
    env_ = {{"XDG_RUNTIME_DIR", base}, {"HOME", base}, {"PULSE_RUNTIME_PATH", base}};
    try {
        if (kind == SoundServerKind::PipeWire) startPipeWire(); else startPulseAudio();
        // The server may apply a new default a little later (WirePlumber does).
        waitUntil("default devices", [this] {
            pactl({"set-default-sink", "out"});
            pactl({"set-default-source", "micsink.monitor"});
            const std::string info = pactl({"info"}).out;
            return info.find("Default Sink: out\n") != std::string::npos &&
                   info.find("Default Source: micsink.monitor\n") != std::string::npos;
        });
    } catch (...) {
        while (!daemons_.empty()) daemons_.pop_back();
        throw;
    }
}

PulseServer::~PulseServer() {
    while (!daemons_.empty()) daemons_.pop_back();
}

void PulseServer::startPulseAudio() {
    const std::string socket = dir_.file("native");
    env_["PULSE_SERVER"] = "unix:" + socket;
    start({"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no", "--disallow-exit",
           "--load=module-native-protocol-unix socket=" + socket + " auth-anonymous=1",
           "--load=module-null-sink sink_name=out", "--load=module-null-sink sink_name=micsink"});
    waitUntil("pulseaudio answering", [this] { return pactl({"info"}).exitStatus == 0; });
}

void PulseServer::start(const std::vector<std::string>& argv) {
    ProcessOptions options;
    options.env = env_;
    options.logPath = "/dev/null";
    options.stopGrace = std::chrono::seconds(5);
    daemons_.push_back(std::make_unique<BackgroundProcess>(argv, options));
}

void PulseServer::waitUntil(const std::string& what, const std::function<bool()>& ready) {
    std::vector<const BackgroundProcess*> daemons;
    for (const auto& daemon : daemons_) daemons.push_back(daemon.get());
    kg::test::waitUntil("sound server: " + what, ready, daemons, std::chrono::seconds(15), std::chrono::milliseconds(50));
}

void PulseServer::kill() { daemons_.pop_back(); }

void PulseServer::exportToThisProcess() const {
    for (const auto& [key, value] : env_) ::setenv(key.c_str(), value.c_str(), 1);
}

ProcessResult PulseServer::pactl(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {"pactl"};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessOptions options;
    options.env = env_;
    options.timeout = std::chrono::milliseconds(10000);
    return runProcess(argv, options);
}

}  // namespace kg::test
