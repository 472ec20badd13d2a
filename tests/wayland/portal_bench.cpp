// portal_bench: the cost of a 1920 x 1080 recording through the screen-cast portal. Brings up
// the headless Wayland desktop with one 1920 x 1080 output, covers it with a window (moving or
// still), records it with capture_bench for a number of seconds and prints one JSON line:
// frames written, the recorder's CPU (cores) and peak memory, and the desktop's own CPU
// (compositor, Xwayland, portal, PipeWire, the window) over the same time.
//
//   portal_bench <capture_bench> <seconds> moving|still

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/capture/movie_reader.h"
#include "tests/support/wayland_desktop.h"

namespace {

// CPU seconds used so far by the processes of the desktop that still run (those whose
// environment names its runtime directory): compositor, Xwayland, portal, PipeWire, the
// scene's window.
double desktopCpuSeconds(const std::string& runtimeDir) {
    const std::string mark = "XDG_RUNTIME_DIR=" + runtimeDir + '\0';
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    double total = 0;
    for (const auto& process : std::filesystem::directory_iterator("/proc")) {
        if (kg::test::readFile((process.path() / "environ").string()).find(mark) == std::string::npos) continue;
        std::string stat = kg::test::readFile((process.path() / "stat").string());
        const auto end = stat.rfind(')');
        if (end == std::string::npos) continue;
        std::istringstream fields(stat.substr(end + 2));
        std::string field;
        double user = 0, system = 0;
        for (int i = 3; fields >> field; ++i) {
            if (i == 14) user = std::stod(field);
            if (i == 15) {
                system = std::stod(field);
                break;
            }
        }
        total += (user + system) / ticks;
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: portal_bench <capture_bench> <seconds> moving|still\n";
        return 2;
    }
    const std::string seconds = argv[2];
    const bool moving = std::string(argv[3]) == "moving";
    kg::test::WaylandDesktop desktop;
    if (desktop.swaymsg({"output", "HEADLESS-1", "resolution", "1920x1080"}).exitStatus != 0) return 1;
    desktop.showWindow({0, 0, 1920, 1080}, 0x808080,
                       moving ? kg::test::WaylandDesktop::Motion::Moving : kg::test::WaylandDesktop::Motion::Still);
    kg::test::TempDir dir;
    const std::string movie = dir.file("portal.mp4");
    const std::string times = dir.file("time");
    // The first run asks which output to share; the measured one restores it, as a person's
    // second recording would.
    desktop.run({argv[1], dir.file("warm-up.mp4"), "1"});
    const double before = desktopCpuSeconds(desktop.runtimeDir());
    kg::test::BackgroundProcess recording({"/usr/bin/time", "-o", times, "-f", "%e %U %S %M", argv[1], movie, seconds},
                                          desktop.clientOptions());
    const auto result = recording.wait(std::chrono::seconds(std::stoi(seconds) + 30));
    const double after = desktopCpuSeconds(desktop.runtimeDir());
    double elapsed = 0, user = 0, system = 0, peakKb = 0;
    std::ifstream(times) >> elapsed >> user >> system >> peakKb;
    const auto summary = kg::test::readMovie(movie);
    const double recorder = user + system;
    nlohmann::json line = {{"scene", argv[3]},
                           {"seconds", elapsed},
                           {"frames", summary.frameTimes.size()},
                           {"duration", summary.durationSeconds},
                           {"recorder_cores", recorder / elapsed},
                           {"recorder_peak_mb", peakKb / 1024},
                           {"desktop_cores", (after - before) / elapsed},
                           {"result", result.out}};
    std::cout << line.dump() << std::endl;
    return summary.readable ? 0 : 1;
}
