#pragma once
// A private Xvfb (1280 x 800) with a grey full-screen window at the bottom, the engine pointed
// at it, a main thread, and a place for the movies.

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
#include "tests/capture/x11_test_scene.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xvfb.h"

namespace kg::test {

inline constexpr std::uint32_t kGrey = 0x808080, kRed = 0xe02020, kBlue = 0x2040e0, kGreen = 0x20c040,
                               kYellow = 0xf0e020, kMagenta = 0xd020d0;

// SIGUSR1 blocked before any thread exists, as the tool's entry point does.
inline const bool kStopSignalBlocked = [] {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}();

class RecorderTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kStopSignalBlocked);
        xvfb_ = std::make_unique<XvfbServer>(1280, 800);
        ::setenv("DISPLAY", xvfb_->display().c_str(), 1);
        scene_ = std::make_unique<X11TestScene>(xvfb_->display());
        background_ = scene_->addWindow(0, 0, 1280, 800, kGrey);
    }

    std::shared_ptr<capture::ScreenRecorder> create(std::optional<Rect> region, std::vector<std::uint32_t> excluded = {},
                                                    std::int64_t maxSeconds = 60, const std::string& name = "movie.mp4") {
        path_ = dir_.file(name);
        return capture::ScreenRecorder::create(region, "none", path_, maxSeconds, std::move(excluded), main_.queue());
    }

    // Asks for the stop the way the Stop button does: triggerStop() on the main thread.
    void stopFromMain(const std::shared_ptr<capture::ScreenRecorder>& recorder) {
        main_.queue()([recorder] { recorder->triggerStop(); });
    }

    // The last decoded frame of the movie.
    DecodedFrame lastFrame(MovieSummary* summary = nullptr) {
        DecodedFrame last;
        auto s = readMovie(path_, [&](const DecodedFrame& f) { last = f; });
        if (summary) *summary = s;
        return last;
    }

    static void pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

    TempDir dir_;
    ThreadMainQueue main_;
    std::unique_ptr<XvfbServer> xvfb_;
    std::unique_ptr<X11TestScene> scene_;
    std::uint32_t background_ = 0;
    std::string path_;
};

}  // namespace kg::test
