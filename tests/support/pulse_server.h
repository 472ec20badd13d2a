#pragma once
// A private sound server that speaks the PulseAudio protocol, for a test: PulseAudio 16, or
// PipeWire with WirePlumber and its pulse server (see pipewire_sound_server.cpp), its socket and
// state in a fresh temporary directory, with two null outputs "out" and "micsink". The default
// output is "out", so what is played to it is the "system" sound; the default input is
// "micsink.monitor", so what is played to "micsink" is the "microphone". No other client is
// connected: the outputs' latencies are whatever the server makes of its clients. Stopped when
// the object goes away.

#include <functional>
#include <map>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/process_runner.h"
#include "tests/support/temp_dir.h"

namespace kg::test {

enum class SoundServerKind { PulseAudio, PipeWire };
[[nodiscard]] std::string soundServerName(SoundServerKind kind);  // "PulseAudio", "PipeWire"
inline void PrintTo(SoundServerKind kind, std::ostream* out) { *out << soundServerName(kind); }

class PulseServer {
public:
    // Throws std::runtime_error when the server does not come up.
    explicit PulseServer(SoundServerKind kind = SoundServerKind::PulseAudio);
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Variables that point a client at this server (PULSE_SERVER, XDG_RUNTIME_DIR, HOME, ...),
    // and the same set in this process, for libpulse clients inside the test itself.
    [[nodiscard]] const std::map<std::string, std::string>& clientEnv() const { return env_; }
    void exportToThisProcess() const;
    ProcessResult pactl(const std::vector<std::string>& args) const;
    // Ends the process clients talk to, as when the sound server goes away during a recording.
    void kill();

private:
    void startPulseAudio();
    void startPipeWire();
    void start(const std::vector<std::string>& argv);
    // Polls `ready` until it holds; throws when a daemon ends or 15 s pass.
    void waitUntil(const std::string& what, const std::function<bool()>& ready);

    TempDir dir_;  // first: removed after the daemons have ended
    std::map<std::string, std::string> env_;
    std::vector<std::unique_ptr<BackgroundProcess>> daemons_;  // in start order; the last serves clients
};

}  // namespace kg::test
