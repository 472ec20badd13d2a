#pragma once
// The engine pointed at a private desktop (1280 x 800, a wallpaper on the root window; by
// default no window manager), a main thread, and a place for the movies.

#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "capture/screen_recorder.h"
#include "tests/capture/movie_reader.h"
#include "tests/capture/thread_main_queue.h"
#include "tests/support/desktop.h"
#include "tests/support/temp_dir.h"

namespace kg::test {

inline constexpr std::uint32_t kWallpaper = 0x3a8a6a, kRed = 0xe02020, kBlue = 0x2040e0, kGreen = 0x20c040,
                               kYellow = 0xf0e020;

// SIGUSR1 blocked before any thread exists, as the tool's entry point does.
inline const bool kStopSignalBlocked = [] {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}();

// The engine with a main thread and a place for the movies; the screen is the subclass's.
class EngineTest : public testing::Test {
protected:
    std::shared_ptr<capture::ScreenRecorder> create(std::optional<Rect> region, const std::string& name = "movie.mp4",
                                                    std::vector<std::uint32_t> excluded = {}, std::int64_t maxSeconds = 60,
                                                    const std::string& audioMode = "none") {
        path_ = dir_.file(name);
        return capture::ScreenRecorder::create(region, audioMode, path_, maxSeconds, std::move(excluded), main_.queue());
    }

    // Asks for the stop the way the Stop button does (triggerStop() on the main thread) and
    // returns the engine's result once the file is finished.
    ResultObject stopFromMain(const std::shared_ptr<capture::ScreenRecorder>& recorder) {
        main_.queue()([recorder] { recorder->triggerStop(); });
        recorder->waitForStop();
        return recorder->stop();
    }

    std::vector<DecodedFrame> frames(MovieSummary* summary = nullptr) { return decodeFrames(path_, summary); }
    static void pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

    TempDir dir_;
    ThreadMainQueue main_;
    std::string path_;
};

class RecorderTest : public EngineTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(kStopSignalBlocked);
        desktop_ = std::make_unique<DesktopSession>(desktopKind_, kWallpaper);
        ::setenv("DISPLAY", desktop_->display().c_str(), 1);
        scene_ = &desktop_->scene();
    }

    void pointerAt(int x, int y) { ASSERT_EQ(desktop_->run({"xdotool", "mousemove", std::to_string(x), std::to_string(y)}).exitStatus, 0); }

    Desktop desktopKind_ = Desktop::Bare;
    std::unique_ptr<DesktopSession> desktop_;
    X11TestScene* scene_ = nullptr;
};

}  // namespace kg::test
