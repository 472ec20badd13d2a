// Sound in real recordings: the engine on a private Xvfb with a private PulseAudio or PipeWire
// server and no other reader, the movies decoded. Which modes give which tracks and hear which
// device, nothing played lost, a change of the default output followed, picture and sound in
// sync whoever else plays, a server that goes away, and a missing or hung sound server.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>

#include "tests/audio/sound_scene.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;

// The weakest 50 ms block of the tone from `from` seconds to `to` (the end when negative).
double weakestBlock(const DecodedSound& sound, double frequencyHz, double from, double to = -1) {
    double weakest = 1.0;
    for (double t = from; t + 0.05 <= (to < 0 ? sound.durationSeconds() : to); t += 0.05) {
        const auto block = std::span<const float>(sound.mono).subspan(static_cast<std::size_t>(t * 48000), 2400);
        weakest = std::min(weakest, toneAmplitude(block, 48000, frequencyHz));
    }
    return weakest;
}

double amplitude(const DecodedSound& sound, double frequencyHz, double from, double to) {
    const auto span = std::span<const float>(sound.mono).subspan(static_cast<std::size_t>(from * 48000),
                                                                static_cast<std::size_t>((to - from) * 48000));
    return meanToneAmplitude(span, 48000, frequencyHz);
}

TEST_P(RecorderSoundTest, EachModeHearsItsDefaultDeviceFromFirstToLastFrame) {
    struct Case {
        std::string mode;
        bool hasSound, hearsOutput, hearsInput;
    };
    const std::vector<Case> cases = {{"system", true, true, false}, {"microphone", true, false, true},
                                     {"both", true, true, true},    {"System", false, false, false},
                                     {"", false, false, false},     {"none", false, false, false}};
    // All modes recorded at once, the devices opened before the tones begin, which play from
    // before the start to after the end: 440 Hz played, 1000 Hz spoken. One more recording is
    // stopped at once.
    std::vector<std::shared_ptr<capture::ScreenRecorder>> recorders;
    testing::internal::CaptureStdout();
    for (std::size_t i = 0; i < cases.size(); ++i) recorders.push_back(create(cases[i].mode, std::to_string(i) + ".mp4"));
    auto instant = create("both", "instant.mp4");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // no warning: the server is there
    const auto output = tone("out", 440);
    const auto input = tone("micsink", 1000);
    instant->start();
    instant->stop();
    std::this_thread::sleep_for(500ms);
    for (auto& recorder : recorders) recorder->start();
    std::this_thread::sleep_for(2s);
    for (auto& recorder : recorders) recorder->stop();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("mode \"" + cases[i].mode + "\"");
        const std::string path = dir_.file(std::to_string(i) + ".mp4");
        const MovieSummary movie = readMovie(path);
        EXPECT_EQ(movie.videoStreams, 1);
        const auto& sound = movie.sound;
        ASSERT_EQ(sound.has_value(), cases[i].hasSound);
        if (!cases[i].hasSound) continue;
        EXPECT_EQ(sound->codec, "aac");
        EXPECT_EQ(sound->sampleRate, 48000);
        EXPECT_EQ(sound->channels, 2);
        EXPECT_NEAR(sound->durationSeconds(), 2.0, 0.3);
        // Every block from just after the encoder's priming to the end holds the tone.
        if (cases[i].hearsOutput) EXPECT_GT(weakestBlock(*sound, 440, 0.03), 0.25);
        else EXPECT_LT(amplitude(*sound, 440, 0.5, 1.5), 0.01);
        if (cases[i].hearsInput) EXPECT_GT(weakestBlock(*sound, 1000, 0.03), 0.25);
        else EXPECT_LT(amplitude(*sound, 1000, 0.5, 1.5), 0.01);
    }
    const auto short_ = readMovie(dir_.file("instant.mp4")).sound;
    ASSERT_TRUE(short_);
    EXPECT_LT(short_->durationSeconds(), 0.2);
}

// In the file, each first bright frame and its tone's onset are at most 40 ms apart (a frame
// period plus margin), whoever else plays.
TEST_P(SyncTest, FlashAndToneStayWithinAFramePeriod) {
    const std::vector<std::tuple<SyncScene, std::string, const char*>> cases = {
        {SyncScene::TonePlayerAlone, "both", "tone player alone"},
        {SyncScene::TonePlayerBesidePaplay, "system", "tone player beside paplay"},
        {SyncScene::TonePlayerBesideFfplay, "system", "tone player beside ffplay"}};
    for (const auto& [scene, mode, name] : cases) {
        SCOPED_TRACE(name);
        const SyncMeasure m = record(mode, 4.5, scene);
        for (int i = 0; i < 2; ++i) {
            ASSERT_GE(m.flash[i], 0);
            ASSERT_GE(m.tone[i], 0);
            EXPECT_NEAR(m.offsetMs(i), 0, 40);
        }
        std::cout << "[ sync     ] " << soundServerName(GetParam()) << ", " << name << ": flash - tone " << m.offsetMs(0)
                  << " ms, " << m.offsetMs(1) << " ms\n";
    }
}

// "system" follows the user's choice of another default output while it records. (PulseAudio
// also moves the players that did not pin their output, so only the new output's own tone
// tells that the recording followed.) Then the server goes away: one warning, the picture goes
// on, the sound so far kept.
TEST_P(RecorderSoundTest, SystemFollowsTheDefaultOutputAndOutlivesTheServer) {
    const std::string path = dir_.file("follow.mp4");
    testing::internal::CaptureStdout();
    auto recorder = create("system", "follow.mp4");
    {
        const auto out = tone("out", 440);
        const auto other = tone("micsink", 1000);
        std::this_thread::sleep_for(300ms);
        recorder->start();
        std::this_thread::sleep_for(1s);
        ASSERT_EQ(pulse_->pactl({"set-default-sink", "micsink"}).exitStatus, 0);
        std::this_thread::sleep_for(1s);
        pulse_->kill();
    }
    std::this_thread::sleep_for(1s);
    recorder->stop();
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.rfind("{\"warn\":\"audio unavailable: ", 0), 0u) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
    const MovieSummary movie = readMovie(path);
    const auto& sound = movie.sound;
    ASSERT_TRUE(sound);
    EXPECT_NEAR(sound->durationSeconds(), 3.0, 0.3);
    EXPECT_GT(weakestBlock(*sound, 440, 0.03, 0.9), 0.25);
    EXPECT_LT(amplitude(*sound, 1000, 0.03, 0.9), 0.01);
    EXPECT_GT(weakestBlock(*sound, 1000, 1.7, 1.95), 0.25);
    ASSERT_FALSE(movie.frameTimes.empty());
    EXPECT_GT(movie.frameTimes.back(), 2.6);
}

INSTANTIATE_TEST_SUITE_P(Servers, RecorderSoundTest, kBothServers, serverParamName);
INSTANTIATE_TEST_SUITE_P(Servers, SyncTest, kBothServers, serverParamName);

// Without a sound server, or with one that takes the connection but never answers, the
// recording goes on: one warning within the track's time-out, a video-only file, the result,
// status 0, nothing on standard error.
TEST(RecorderWithoutSoundServer, WarnsAndRecordsThePicture) {
    DesktopSession desktop(Desktop::Bare, kWallpaper, 640, 480);
    TempDir dir;
    const int hung = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", dir.file("hung").c_str());
    ASSERT_EQ(::bind(hung, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(hung, 4), 0);
    for (const auto& [socket, warning] : {std::pair{"none", "sound server"}, std::pair{"hung", "did not answer"}}) {
        SCOPED_TRACE(socket);
        ProcessOptions options = desktop.clientOptions();
        options.env["PULSE_SERVER"] = "unix:" + dir.file(socket);
        options.env["XDG_RUNTIME_DIR"] = options.env["HOME"] = dir.path().string();
        const std::string path = dir.file("silent.mp4");
        const auto before = std::chrono::steady_clock::now();
        const ProcessResult result = runProcess({KG_CAPTURE_BENCH, path, "1", "--audio", "both"}, options);
        EXPECT_LT(std::chrono::steady_clock::now() - before, 6s);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.err, "");
        const auto lines = result.lines();
        ASSERT_EQ(lines.size(), 3u) << result.out;
        EXPECT_EQ(lines[0].value("warn", "").rfind("audio unavailable: ", 0), 0u) << result.out;
        EXPECT_NE(lines[0].value("warn", "").find(warning), std::string::npos) << result.out;
        EXPECT_EQ(lines[1].value("status", ""), "recording");
        EXPECT_EQ(lines[2].value("status", ""), "done");
        const MovieSummary movie = readMovie(path);
        EXPECT_EQ(movie.videoStreams, 1);
        EXPECT_FALSE(movie.sound);
    }
    ::close(hung);
}

}  // namespace
}  // namespace kg::test
