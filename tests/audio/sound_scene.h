#pragma once
// The engine with sound on a private Xvfb and a private PulseAudio daemon, and the sync scene:
// at one instant a black window turns white and a tone starts; a second time later on with
// another tone. Shared by the sound recording tests.

#include <gtest/gtest.h>

#include <signal.h>
#include <time.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "capture/screen_recorder.h"
#include "tests/audio/movie_probe.h"
#include "tests/audio/tone_analysis.h"
#include "tests/audio/tone_player.h"
#include "tests/capture/movie_reader.h"
#include "tests/capture/thread_main_queue.h"
#include "tests/capture/x11_test_scene.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xvfb.h"

namespace kg::test {

// SIGUSR1 blocked before any thread exists, as the tool's entry point does.
inline const bool kStopSignalBlocked = [] {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}();

inline std::int64_t nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

inline void sleepUntil(std::int64_t monotonicNs) {
    const std::int64_t wait = monotonicNs - nowNs();
    if (wait > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(wait));
}

// The recorded rectangle: a black window that the scene turns white.
inline constexpr int kSceneWidth = 320;
inline constexpr int kSceneHeight = 240;

class RecorderSoundTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kStopSignalBlocked);
        pulse_.exportToThisProcess();
        xvfb_ = std::make_unique<XvfbServer>(640, 480);
        ::setenv("DISPLAY", xvfb_->display().c_str(), 1);
        scene_ = std::make_unique<X11TestScene>(xvfb_->display());
        flash_ = scene_->addWindow(0, 0, kSceneWidth, kSceneHeight, 0x000000);
    }

    std::shared_ptr<capture::ScreenRecorder> create(const std::string& mode, const std::string& name) {
        return capture::ScreenRecorder::create(Rect{0, 0, kSceneWidth, kSceneHeight}, mode, dir_.file(name), 600, {},
                                               main_.queue());
    }

    PulseServer pulse_;
    TempDir dir_;
    ThreadMainQueue main_;
    std::unique_ptr<XvfbServer> xvfb_;
    std::unique_ptr<X11TestScene> scene_;
    std::uint32_t flash_ = 0;
};

struct SyncMeasure {
    double firstFlashSeconds = -1;
    double firstToneSeconds = -1;
    double secondFlashSeconds = -1;
    double secondToneSeconds = -1;
};

inline SyncMeasure measure(const std::string& path, double secondAfter) {
    SyncMeasure m;
    readMovie(path, [&](const DecodedFrame& frame) {
        const bool bright = frame.at(frame.width / 2, frame.height / 2).r > 128;
        if (bright && m.firstFlashSeconds < 0) m.firstFlashSeconds = frame.seconds;
        if (bright && m.secondFlashSeconds < 0 && frame.seconds > secondAfter) m.secondFlashSeconds = frame.seconds;
    });
    const auto sound = decodeSound(path);
    if (!sound) return m;
    if (auto onset = toneOnsetSeconds(sound->mono, 48000, 1000, 0.2)) m.firstToneSeconds = sound->startSeconds + *onset;
    if (auto onset = toneOnsetSeconds(sound->mono, 48000, 1700, 0.2)) m.secondToneSeconds = sound->startSeconds + *onset;
    return m;
}

class SyncTest : public RecorderSoundTest {
protected:
    void record(const std::string& mode, double seconds) {
        path_ = dir_.file("sync-" + mode + ".mp4");
        scene_->setColor(flash_, 0x000000);
        auto recorder = create(mode, "sync-" + mode + ".mp4");
        TonePlayer first("out", 1000, 0.5);
        TonePlayer second("out", 1700, 0.5);
        recorder->start();
        const std::int64_t start = nowNs();
        std::this_thread::sleep_for(std::chrono::duration<double>(0.8));
        sleepUntil(first.startTone());
        scene_->setColor(flash_, 0xffffff);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        scene_->setColor(flash_, 0x000000);
        sleepUntil(start + static_cast<std::int64_t>((seconds - 0.8) * 1e9));
        sleepUntil(second.startTone());
        scene_->setColor(flash_, 0xffffff);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        recorder->stop();
        secondAfter_ = seconds - 0.9;
    }
    std::string path_;
    double secondAfter_ = 0;
};

}  // namespace kg::test
