// Faults a controlling program meets: the X server going away, signals at once and later,
// regions nothing can record, no session bus or runtime directory. Each run ends with its lines.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/capture/movie_reader.h"
#include "tests/support/desktop.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;
const char* const kRegion = R"({"x":200,"y":250,"width":400,"height":300})";
constexpr std::uint32_t kWallpaper = 0x2a7fb0;

// Returns once the process has run the first line of its main: the signals it reads are blocked.
void waitUntilSignalsBlocked(pid_t pid) {
    for (int i = 0; i < 5000; ++i, std::this_thread::sleep_for(1ms)) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("SigBlk:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1) & 1)) return;
    }
    FAIL() << "the signals were never blocked";
}

// Checks what every run shares and returns its standard output.
std::string expectClean(const ProcessResult& result, int exitStatus) {
    EXPECT_EQ(result.exitStatus, exitStatus) << result.out;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(result.out.ends_with('\n')) << result.out;  // every line complete
    return result.out;
}

// Also without a session bus or runtime directory, whose absence must leave nothing behind.
TEST(Robustness, LosingTheXServerFinishesTheRecordingOrEndsTheSelectionWithAnErrorLeavingNothing) {
    const TempDir dir;
    const std::string movie = dir.file("out.mp4"), lost = "the connection to the X server was lost";
    std::string machineId;
    std::ifstream("/etc/machine-id") >> machineId;
    for (const bool record : {true, false}) {
        DesktopSession desktop(Desktop::Bare, kWallpaper);
        ProcessOptions options = desktop.clientOptions();
        options.env["TMPDIR"] = dir.path().string();
        options.unsetEnv.insert(options.unsetEnv.end(), {"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"});
        // Where dbus-launch registers a bus it starts for this display.
        const auto busFile = std::filesystem::path(getenv("HOME")) / ".dbus/session-bus" / (machineId + "-" + desktop.display().substr(1));
        std::filesystem::remove(busFile);
        std::vector<std::string> argv{KG_EXECUTABLE, "record", "--region", kRegion, "--audio", "none", "--output", movie};
        BackgroundProcess run(record ? argv : std::vector<std::string>{KG_EXECUTABLE, "select-region"}, options);
        if (record) run.waitForLines(1, 30s);
        std::this_thread::sleep_for(1s);
        ::kill(desktop.serverPid(), SIGTERM);  // as when the session closes
        const auto result = run.wait(30s);
        expectClean(result, 0);
        EXPECT_FALSE(std::filesystem::exists(busFile)) << "a session bus was started";
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) EXPECT_EQ(entry.path(), movie);
        const auto lines = result.lines();
        ASSERT_EQ(lines.size(), record ? 3u : 1u) << result.out;
        EXPECT_EQ(lines[record ? 1 : 0].value("error", ""), record ? "recording failed: " + lost : lost);
        if (!record) continue;
        EXPECT_EQ(lines[2].value("status", ""), "done") << result.out;
        EXPECT_NEAR(readMovie(movie).durationSeconds, lines[2].value("duration", 0.0), 0.1);  // decodes to its end
    }
}

TEST(Robustness, TerminationSignalsCancelTheSelectionAndEndTheRecordingFromTheFirstLineOfMain) {
    const TempDir dir;
    DesktopSession desktop(Desktop::Bare, kWallpaper);
    ProcessOptions options = desktop.clientOptions();
    options.env["TMPDIR"] = dir.path().string();
    for (const int signo : {SIGTERM, SIGINT, SIGHUP}) {
        for (const bool atOnce : {true, false}) {
            SCOPED_TRACE(std::to_string(signo) + (atOnce ? " at once" : " later"));
            BackgroundProcess select({KG_EXECUTABLE, "select-region"}, options);
            if (atOnce) waitUntilSignalsBlocked(select.pid());
            for (int i = 0; !atOnce && desktop.pixel(640, 400) == kWallpaper && i < 500; ++i) std::this_thread::sleep_for(20ms);
            select.signal(signo);
            EXPECT_EQ(expectClean(select.wait(30s), 0), "{\"cancelled\":true}\n");
            EXPECT_EQ(desktop.pixel(640, 400), kWallpaper) << "a selection window stayed on the screen";
        }
        for (const int stop : {SIGUSR1, signo}) {  // to record, as soon as they are blocked
            BackgroundProcess record({KG_EXECUTABLE, "record", "--audio", "none", "--output", dir.file("early.mp4")}, options);
            waitUntilSignalsBlocked(record.pid());
            record.signal(stop);
            EXPECT_NE(expectClean(record.wait(30s), 0).find(R"({"status":"done",)"), std::string::npos);
        }
    }
}

TEST(Robustness, RegionsNoScreenOrEncoderCanTakeAreRefusedAtOnceBeforeAnyDisplayIsOpened) {
    ProcessOptions options;
    options.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};  // a window would fail with "cannot open display"
    for (const char* region : {R"({"x":1e29,"y":51164,"width":32768,"height":65536})",
                               R"({"x":1352,"y":6569,"width":-1e12,"height":1000})",
                               R"({"x":0,"y":0,"width":16384,"height":16384})", R"({"x":32600,"y":0,"width":400,"height":300})"}) {
        const auto start = std::chrono::steady_clock::now();
        const auto result = runProcess({KG_EXECUTABLE, "record", "--region", region}, options);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << region;
        expectClean(result, 1);
        EXPECT_EQ(result.lines().at(0).value("error", "").rfind("region ", 0), 0u) << result.out;  // the one line
    }
}

}  // namespace
}  // namespace kg::test
