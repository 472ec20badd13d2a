// The PipeWire variant of PulseServer: the way a desktop without systemd runs it. A private
// session bus (the Wayland desktop's configuration: no service directory, so nothing is
// activated behind the test's back), pipewire, WirePlumber (without it no stream is ever
// linked to a device) and pipewire-pulse, which serves the PulseAudio protocol at $PULSE_RUNTIME_PATH/native.
// The stock configuration files work as they are; the null outputs are made through pactl,
// as a user would.
#include <filesystem>
#include <stdexcept>

#include "tests/support/pulse_server.h"

namespace kg::test {

void PulseServer::startPipeWire() {
    const std::string bus = dir_.file("bus");
    env_["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + bus;
    env_["PIPEWIRE_RUNTIME_DIR"] = dir_.path().string();
    env_["PULSE_SERVER"] = "unix:" + dir_.file("native");
    const auto exists = [](const std::string& path) { return [path] { return std::filesystem::exists(path); }; };
    start({"dbus-daemon", "--config-file=" KG_SESSION_BUS_CONFIG, "--nofork", "--address=unix:path=" + bus});
    waitUntil("session bus", exists(bus));
    start({"pipewire"});
    waitUntil("pipewire socket", exists(dir_.file("pipewire-0")));
    start({"wireplumber"});
    start({"pipewire-pulse"});
    waitUntil("pipewire-pulse answering", [this] { return pactl({"info"}).exitStatus == 0; });
    for (const char* sink : {"out", "micsink"}) {
        if (pactl({"load-module", "module-null-sink", std::string("sink_name=") + sink}).exitStatus != 0) {
            throw std::runtime_error(std::string("pipewire-pulse: cannot make the null output ") + sink);
        }
    }
}

}  // namespace kg::test
