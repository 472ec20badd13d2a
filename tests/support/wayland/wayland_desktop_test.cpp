// The headless Wayland desktop the portal capture tests run on: it comes up, shows a window
// where it was asked to, and leaves nothing running (the portal capture tests use its portal).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/wayland_desktop.h"

namespace kg::test {
namespace {

TEST(WaylandDesktop, ComesUpWithAWindowInPlaceAndLeavesNothingRunning) {
    const auto began = std::chrono::steady_clock::now();
    std::string runtimeDir;
    {
        WaylandDesktop desktop;
        const auto startup = std::chrono::steady_clock::now() - began;
        RecordProperty("startup_ms", static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(startup).count()));
        runtimeDir = desktop.runtimeDir();

        desktop.showWindow({200, 150, 300, 200}, 0xd02020);
        const Screenshot shot = desktop.screenshot({0, 0, 1280, 800});
        ASSERT_EQ(shot.width, 1280);
        ASSERT_EQ(shot.height, 800);
        EXPECT_EQ(shot.at(200, 150), 0xd02020u);
        EXPECT_EQ(shot.at(499, 349), 0xd02020u);
        EXPECT_EQ(shot.at(199, 150), 0x3a6ea5u) << "wallpaper left of the window";
        EXPECT_EQ(shot.at(500, 349), 0x3a6ea5u) << "wallpaper right of the window";

    }
    // Nothing outlives the desktop: within a moment (a killed process takes a little while to
    // go), no process runs with its runtime directory.
    const std::string mark = "XDG_RUNTIME_DIR=" + runtimeDir + '\0';
    std::string survivors;
    for (int attempt = 0; attempt < 30; ++attempt) {
        survivors.clear();
        for (const auto& process : std::filesystem::directory_iterator("/proc")) {
            if (readFile((process.path() / "environ").string()).find(mark) != std::string::npos)
                survivors += readFile((process.path() / "cmdline").string()) + "\n";
        }
        if (survivors.empty()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(survivors, "");
}

}  // namespace
}  // namespace kg::test
