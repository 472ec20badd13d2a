#pragma once
// The engine with sound on a private Xvfb and a private sound server (PulseAudio or PipeWire,
// the test's parameter), and the sync scenes: twice, a black area turns white as a tone starts
// (1000 Hz, then 1700 Hz). Shared by the sound recording tests.

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <iostream>
#include <memory>
#include <numbers>
#include <thread>

#include "tests/audio/tone_analysis.h"
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
        return RecorderTest::create(Rect{0, 0, kSceneWidth, kSceneHeight}, name, {}, 600, mode);
    }
    // A player started in the background against this scene's servers.
    std::unique_ptr<BackgroundProcess> play(const std::vector<std::string>& argv) {
        ProcessOptions options;
        options.env = pulse_->clientEnv();
        options.env["SDL_AUDIODRIVER"] = "pulseaudio";
        return std::make_unique<BackgroundProcess>(argv, options);
    }
    // A 20 s stereo sine as a WAV file, written by FFmpeg.
    std::string sineFile(int frequencyHz, double amplitude) {
        const std::string path = dir_.file(std::to_string(frequencyHz) + ".wav");
        EXPECT_EQ(runProcess({"ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                              "aevalsrc=" + std::to_string(amplitude) + "*sin(2*PI*" + std::to_string(frequencyHz) +
                                  "*t):s=48000:c=stereo:d=20",
                              path}).exitStatus, 0);
        return path;
    }
    // paplay (its default 2 s buffer) playing a sine to `sink` for 20 s; returns once the server
    // has its stream (on a loaded machine the player connects late).
    std::unique_ptr<BackgroundProcess> tone(const std::string& sink, int frequencyHz, double amplitude = 0.4) {
        const auto streams = [this] { return std::ranges::count(pulse_->pactl({"list", "short", "sink-inputs"}).out, '\n'); };
        const auto before = streams();
        auto player = play({"paplay", "--device=" + sink, sineFile(frequencyHz, amplitude)});
        waitUntil("paplay connected", [&] { return streams() > before; }, {}, std::chrono::seconds(10));
        return player;
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

// The sync scenes. A libpulse player (a fresh stream for each tone) starts a tone
// and the black window turns white at the instant the server says the tone is heard, twice
// (1000 Hz, then 1700 Hz about a second before the end), alone or while another client plays
// beside it: paplay with its default 2 s buffer, or ffplay through SDL.
enum class SyncScene { TonePlayerAlone, TonePlayerBesidePaplay, TonePlayerBesideFfplay };

class SyncTest : public RecorderSoundTest {
protected:
    SyncMeasure record(const std::string& mode, double seconds, SyncScene scene) {
        const std::string path = dir_.file("sync-" + mode + ".mp4");
        scene_->setColor(window_, 0x000000);
        std::unique_ptr<BackgroundProcess> beside;
        if (scene == SyncScene::TonePlayerBesidePaplay) beside = tone("out", 300, 0.05);
        if (scene == SyncScene::TonePlayerBesideFfplay) {
            beside = play({"ffplay", "-loglevel", "quiet", "-nodisp", "-autoexit", sineFile(300, 0.05)});
        }
        auto recorder = create(mode, "sync-" + mode + ".mp4");
        recorder->start();
        const auto start = std::chrono::steady_clock::now();
        flashWithTone(1000, start + std::chrono::milliseconds(800));
        flashWithTone(1700, start + std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds - 0.8)));
        std::this_thread::sleep_until(start + std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds)));
        recorder->stop();
        return measure(path);
    }
    // A player connected 0.8 s before `at` plays silence, then the tone from `at` on; the window
    // turns white at the instant the server says the tone's first frame is heard (its playback
    // latency taken into account), and black again 0.3 s later. The player writes on its own
    // thread, paced by the server, so the flash waits on nothing but the clock.
    void flashWithTone(double frequencyHz, std::chrono::steady_clock::time_point at) {
        using std::chrono::steady_clock;
        std::this_thread::sleep_until(at - std::chrono::milliseconds(800));
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, 48000, 2};
        // 100 ms: enough to ride out a loaded machine; the latency query accounts for it.
        const pa_buffer_attr attr{UINT32_MAX, 100 * 48 * 8, UINT32_MAX, UINT32_MAX, UINT32_MAX};
        int error = 0;
        const std::unique_ptr<pa_simple, void (*)(pa_simple*)> stream(
            pa_simple_new(nullptr, "tone-player", PA_STREAM_PLAYBACK, "out", "tone", &spec, nullptr, &attr, &error), pa_simple_free);
        ASSERT_TRUE(stream) << "cannot play: " << pa_strerror(error);
        std::promise<steady_clock::time_point> heard;
        std::atomic<bool> quit{false};
        std::thread player([&] {
            std::vector<float> block(240 * 2);  // 5 ms
            std::int64_t toneFrame = -1;
            while (!quit) {
                if (toneFrame < 0 && steady_clock::now() >= at) {
                    // Everything written so far plays first: the tone's first frame is heard after it.
                    heard.set_value(steady_clock::now() + std::chrono::microseconds(pa_simple_get_latency(stream.get(), &error)));
                    toneFrame = 0;
                }
                for (std::size_t i = 0; i < block.size(); i += 2) {
                    const double seconds = static_cast<double>(toneFrame < 0 ? 0 : toneFrame++) / 48000;
                    block[i] = block[i + 1] = toneFrame < 0 ? 0.0f : static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * frequencyHz * seconds));
                }
                // Blocks until the server wants more, which paces the loop in real time.
                if (pa_simple_write(stream.get(), block.data(), block.size() * sizeof(float), &error) < 0) break;
            }
            if (toneFrame < 0) heard.set_value(steady_clock::time_point{});  // the stream failed: the test fails on sync
        });
        std::this_thread::sleep_until(heard.get_future().get());
        scene_->setColor(window_, 0xffffff);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        scene_->setColor(window_, 0x000000);
        quit = true;
        player.join();
    }
};

}  // namespace kg::test
