#pragma once
// The engine with sound on a private Xvfb and a private sound server (PulseAudio or PipeWire,
// the test's parameter), and the sync scenes: twice, a black area turns white as a tone starts
// (1000 Hz, then 1700 Hz). Shared by the sound recording tests.

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <thread>

#include "tests/audio/tone_analysis.h"
#include "tests/audio/tone_player.h"
#include "tests/capture/recorder_fixture.h"
#include "tests/support/pulse_server.h"

namespace kg::test {

// The recorded rectangle: a black window that a sync scene turns white.
inline constexpr int kSceneWidth = 320;
inline constexpr int kSceneHeight = 240;

inline const auto kBothServers = testing::Values(SoundServerKind::PulseAudio, SoundServerKind::PipeWire);
inline std::string serverParamName(const testing::TestParamInfo<SoundServerKind>& info) { return soundServerName(info.param); }

class RecorderSoundTest : public RecorderTest, public testing::WithParamInterface<SoundServerKind> {
protected:
    void SetUp() override {
        pulse_ = std::make_unique<PulseServer>(GetParam());
        pulse_->exportToThisProcess();
        RecorderTest::SetUp();
        window_ = scene_->addWindow(0, 0, kSceneWidth, kSceneHeight, 0x000000);
    }

    std::shared_ptr<capture::ScreenRecorder> create(const std::string& mode, const std::string& name) {
        return RecorderTest::create(Rect{0, 0, kSceneWidth, kSceneHeight}, {}, 600, name, mode);
    }
    // A player started in the background against this scene's servers.
    std::unique_ptr<BackgroundProcess> play(const std::vector<std::string>& argv) {
        ProcessOptions options;
        options.env = pulse_->clientEnv();
        options.env["DISPLAY"] = xvfb_->display();
        options.env["SDL_AUDIODRIVER"] = "pulseaudio";
        return std::make_unique<BackgroundProcess>(argv, options);
    }
    // Writes a file with FFmpeg from lavfi sources (`inputs`), then the output options `rest`.
    std::string makeMedia(const std::string& name, const std::vector<std::string>& inputs, const std::vector<std::string>& rest) {
        std::vector<std::string> argv = {"ffmpeg", "-loglevel", "error", "-y"};
        for (const auto& input : inputs) argv.insert(argv.end(), {"-f", "lavfi", "-i", input});
        argv.insert(argv.end(), rest.begin(), rest.end());
        argv.push_back(dir_.file(name));
        EXPECT_EQ(runProcess(argv).exitStatus, 0) << name;
        return dir_.file(name);
    }
    static std::string sine(int frequencyHz, double amplitude) {
        return "aevalsrc=" + std::to_string(amplitude) + "*sin(2*PI*" + std::to_string(frequencyHz) + "*t):s=48000:c=stereo:d=20";
    }
    // paplay (its default 2 s buffer) playing a sine to `sink` for 20 s.
    std::unique_ptr<BackgroundProcess> tone(const std::string& sink, int frequencyHz, double amplitude = 0.4) {
        return play({"paplay", "--device=" + sink, makeMedia(std::to_string(frequencyHz) + ".wav", {sine(frequencyHz, amplitude)}, {})});
    }

    std::unique_ptr<PulseServer> pulse_;
    std::uint32_t window_ = 0;
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
    const auto sound = readMovie(path, [&](const DecodedFrame& frame) {
        const bool bright = frame.at(frame.width / 2, frame.height / 2).r > 128;
        if (bright && !wasBright && flashes < 2) m.flash[flashes++] = frame.seconds;
        wasBright = bright;
    }).sound;
    if (!sound) return m;
    if (auto onset = toneOnsetSeconds(sound->mono, 48000, 1000, 0.2)) m.tone[0] = sound->startSeconds + *onset;
    if (auto onset = toneOnsetSeconds(sound->mono, 48000, 1700, 0.2)) m.tone[1] = sound->startSeconds + *onset;
    return m;
}

// The sync scenes. A libpulse player (TonePlayer, a fresh stream for each tone) starts a tone
// and the black window turns white at the instant the server says the tone is heard, twice
// (1000 Hz, then 1700 Hz about a second before the end), while another client plays beside
// it: paplay with its default 2 s buffer, or ffplay through SDL. Or ffplay plays a clip whose
// picture turns white as its tone starts, through its own clock.
enum class SyncScene { TonePlayerAlone, TonePlayerBesidePaplay, TonePlayerBesideFfplay, FfplayClip };

class SyncTest : public RecorderSoundTest {
protected:
    SyncMeasure record(const std::string& mode, double seconds, SyncScene scene) {
        const std::string path = dir_.file("sync-" + mode + ".mp4");
        scene_->setColor(window_, 0x000000);
        std::unique_ptr<BackgroundProcess> beside;
        if (scene == SyncScene::TonePlayerBesidePaplay) beside = tone("out", 300, 0.05);
        if (scene == SyncScene::TonePlayerBesideFfplay) {
            beside = play({"ffplay", "-loglevel", "quiet", "-nodisp", "-autoexit", makeMedia("hum.wav", {sine(300, 0.05)}, {})});
        }
        const std::string clipSeconds = std::to_string(seconds - 0.5);
        const std::string lit = "between(t,1,1.3)+between(t," + std::to_string(seconds - 2) + "," + clipSeconds + ")";
        const std::string clip = scene != SyncScene::FfplayClip ? "" : makeMedia(
            "clip.mkv",
            {"color=c=black:s=320x240:r=30:d=" + clipSeconds,
             "aevalsrc='0.5*sin(2*PI*if(lt(t,2),1000,1700)*t)*(" + lit + ")':s=48000:c=stereo:d=" + clipSeconds},
            {"-vf", "drawbox=c=white:t=fill:enable='" + lit + "'", "-c:v", "libx264", "-preset", "ultrafast", "-g", "1",
             "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le"});
        auto recorder = create(mode, "sync-" + mode + ".mp4");
        recorder->start();
        const auto start = std::chrono::steady_clock::now();
        if (scene == SyncScene::FfplayClip) {
            beside = play({"ffplay", "-loglevel", "quiet", "-autoexit", "-noborder", "-left", "0", "-top", "0", clip});
        } else {
            flashWithTone(1000, start + std::chrono::milliseconds(800));
            flashWithTone(1700, start + std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds - 0.8)));
        }
        std::this_thread::sleep_until(start + std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds)));
        recorder->stop();
        return measure(path);
    }
    // A player connected 0.8 s before `at` starts its tone then; the window turns white when
    // the server says the tone is heard, and black again 0.3 s later.
    void flashWithTone(double frequencyHz, std::chrono::steady_clock::time_point at) {
        std::this_thread::sleep_until(at - std::chrono::milliseconds(800));
        TonePlayer player("out", frequencyHz, 0.5);
        std::this_thread::sleep_until(at);
        const std::int64_t heardNs = player.startTone();
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::this_thread::sleep_for(std::chrono::nanoseconds(heardNs - now.tv_sec * 1'000'000'000LL - now.tv_nsec));
        scene_->setColor(window_, 0xffffff);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        scene_->setColor(window_, 0x000000);
    }
};

}  // namespace kg::test
