#pragma once
// The engine with sound on a private Xvfb and a private sound server (PulseAudio or PipeWire,
// the test's parameter), and the sync scene: twice, a black area turns white as a tone starts
// (1000 Hz, then 1700 Hz). Shared by the sound recording tests.

#include <gtest/gtest.h>

#include <signal.h>
#include <time.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
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

inline const auto kBothServers = testing::Values(SoundServerKind::PulseAudio, SoundServerKind::PipeWire);
inline std::string serverParamName(const testing::TestParamInfo<SoundServerKind>& info) { return soundServerName(info.param); }

class RecorderSoundTest : public testing::TestWithParam<SoundServerKind> {
protected:
    void SetUp() override {
        ASSERT_TRUE(kStopSignalBlocked);
        pulse_ = std::make_unique<PulseServer>(GetParam());
        pulse_->exportToThisProcess();
        xvfb_ = std::make_unique<XvfbServer>(640, 480);
        ::setenv("DISPLAY", xvfb_->display().c_str(), 1);
        scene_ = std::make_unique<X11TestScene>(xvfb_->display());
        flash_ = scene_->addWindow(0, 0, kSceneWidth, kSceneHeight, 0x000000);
    }

    std::shared_ptr<capture::ScreenRecorder> create(const std::string& mode, const std::string& name) {
        return capture::ScreenRecorder::create(Rect{0, 0, kSceneWidth, kSceneHeight}, mode, dir_.file(name), 600, {},
                                               main_.queue());
    }
    // A player started in the background against this scene's servers.
    std::unique_ptr<BackgroundProcess> play(const std::vector<std::string>& argv) {
        ProcessOptions options;
        options.env = pulse_->clientEnv();
        options.env["DISPLAY"] = xvfb_->display();
        options.env["SDL_AUDIODRIVER"] = "pulseaudio";
        auto args = argv;
        args[0] = findProgram(args[0]);
        return std::make_unique<BackgroundProcess>(args, options);
    }
    // Writes a file with FFmpeg from lavfi sources: `inputs` as "-f lavfi -i" arguments.
    std::string makeMedia(const std::string& name, const std::vector<std::string>& inputs, const std::vector<std::string>& rest) {
        std::vector<std::string> argv = {findProgram("ffmpeg"), "-loglevel", "error", "-y"};
        for (const auto& input : inputs) argv.insert(argv.end(), {"-f", "lavfi", "-i", input});
        argv.insert(argv.end(), rest.begin(), rest.end());
        argv.push_back(dir_.file(name));
        EXPECT_EQ(runProcess(argv).exitStatus, 0) << name;
        return dir_.file(name);
    }

    TempDir dir_;
    std::unique_ptr<PulseServer> pulse_;
    ThreadMainQueue main_;
    std::unique_ptr<XvfbServer> xvfb_;
    std::unique_ptr<X11TestScene> scene_;
    std::uint32_t flash_ = 0;
};

// The first bright frame and the tone's onset, for each of the two flashes (-1 when missing).
struct SyncMeasure {
    double flash[2] = {-1, -1};
    double tone[2] = {-1, -1};
    [[nodiscard]] double offsetMs(int i) const { return (flash[i] - tone[i]) * 1000; }
};

inline SyncMeasure measure(const std::string& path) {
    SyncMeasure m;
    int flashes = 0;
    bool wasBright = false;
    readMovie(path, [&](const DecodedFrame& frame) {
        const bool bright = frame.at(frame.width / 2, frame.height / 2).r > 128;
        if (bright && !wasBright && flashes < 2) m.flash[flashes++] = frame.seconds;
        wasBright = bright;
    });
    const auto sound = decodeSound(path);
    if (!sound) return m;
    if (auto onset = toneOnsetSeconds(sound->mono, 48000, 1000, 0.2)) m.tone[0] = sound->startSeconds + *onset;
    if (auto onset = toneOnsetSeconds(sound->mono, 48000, 1700, 0.2)) m.tone[1] = sound->startSeconds + *onset;
    return m;
}

// The sync scene's player: ffplay playing a clip whose picture turns white as a tone starts,
// twice (1 s in, and 2 s before its end), through SDL and its own clock: the picture follows
// how far the server has consumed its sound, not what the server says about its latency.
// Another client may play beside it: paplay with its default 2 s buffer, playing a quiet hum.
enum class BesideFfplay { Nobody, Paplay };

class SyncTest : public RecorderSoundTest {
protected:
    SyncMeasure record(const std::string& mode, double seconds, BesideFfplay beside) {
        const std::string path = dir_.file("sync-" + mode + ".mp4");
        scene_->setColor(flash_, 0x000000);
        const std::string clipSeconds = std::to_string(seconds - 0.5);
        const std::string lit = "between(t,1,1.3)+between(t," + std::to_string(seconds - 2) + "," + clipSeconds + ")";
        const std::string clip = makeMedia(
            "clip.mkv",
            {"color=c=black:s=320x240:r=30:d=" + clipSeconds,
             "aevalsrc='0.5*sin(2*PI*if(lt(t,2),1000,1700)*t)*(" + lit + ")':s=48000:c=stereo:d=" + clipSeconds},
            {"-vf", "drawbox=c=white:t=fill:enable='" + lit + "'", "-c:v", "libx264", "-preset", "ultrafast", "-g", "1",
             "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le"});
        std::unique_ptr<BackgroundProcess> paplay;
        if (beside == BesideFfplay::Paplay) {
            paplay = play({"paplay", makeMedia("hum.wav", {"aevalsrc=0.05*sin(2*PI*300*t):s=48000:c=stereo:d=" +
                                                           std::to_string(seconds + 5)}, {})});
        }
        auto recorder = create(mode, "sync-" + mode + ".mp4");
        recorder->start();
        const std::int64_t start = nowNs();
        auto ffplay = play({"ffplay", "-loglevel", "quiet", "-autoexit", "-noborder", "-left", "0", "-top", "0", clip});
        sleepUntil(start + static_cast<std::int64_t>(seconds * 1e9));
        recorder->stop();
        return measure(path);
    }
};

}  // namespace kg::test
