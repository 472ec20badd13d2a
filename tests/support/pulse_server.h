#pragma once
// A private PulseAudio daemon for a test: no system instance, its socket and state in a fresh
// temporary directory, two null outputs "out" and "micsink". The default output is "out", so
// what is played to it is the "system" sound; the default input is "micsink.monitor", so what
// is played to "micsink" is the "microphone". Stopped when the object goes away.
//
// A null output renders up to two seconds ahead while no client asks for a short latency, and
// reports that as its latency; tests that time sounds need it to render just in time. So the
// daemon keeps a low-latency reader on each monitor for its whole life and restarts both
// outputs once, and is handed over with both latencies below 50 ms.

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/process_runner.h"
#include "tests/support/temp_dir.h"

namespace kg::test {

class PulseServer {
public:
    PulseServer();  // throws std::runtime_error when the daemon does not come up
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Variables that point a client at this daemon (PULSE_SERVER, PULSE_RUNTIME_PATH,
    // XDG_RUNTIME_DIR, HOME).
    [[nodiscard]] const std::map<std::string, std::string>& clientEnv() const { return env_; }
    // Sets those variables in this process, for libpulse clients inside the test itself.
    void exportToThisProcess() const;
    // Runs pactl against this daemon.
    ProcessResult pactl(const std::vector<std::string>& args) const;
    // Ends the daemon now (SIGKILL), as when the sound server goes away during a recording.
    void kill();

private:
    void start();
    void shutDown();  // readers and daemon ended and reaped; idempotent
    // Starts args[0] with this daemon's environment, standard output and error into
    // `outputPath`. -1 when it cannot be started.
    [[nodiscard]] pid_t spawn(std::vector<std::string> args, const std::string& outputPath) const;
    [[nodiscard]] std::vector<std::string> childEnvironment() const;
    void spawnReader(const std::string& monitor);
    void waitForLowLatency();

    TempDir dir_;
    pid_t pid_ = -1;
    std::vector<pid_t> readers_;
    std::map<std::string, std::string> env_;
};

}  // namespace kg::test
