// Sound in real recordings: the engine on a private Xvfb with a private PulseAudio or PipeWire
// server and no other reader, the movies decoded. Which modes give which tracks and hear which
// device, nothing played lost, picture and sound in sync whoever else plays, a server that goes
// away, and a recording without a sound server.
#include "tests/audio/sound_scene.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;

// The weakest 50 ms block of the tone from `from` seconds to `to` seconds before the end.
double weakestBlock(const DecodedSound& sound, double frequencyHz, double from, double to) {
    double weakest = 1.0;
    for (double t = from; t + 0.05 <= sound.durationSeconds() - to; t += 0.05) {
        const auto block = std::span<const float>(sound.mono).subspan(static_cast<std::size_t>(t * 48000), 2400);
        weakest = std::min(weakest, toneAmplitude(block, 48000, frequencyHz));
    }
    return weakest;
}

TEST_P(RecorderSoundTest, EachModeHearsItsDefaultDeviceFromFirstToLastFrame) {
    struct Case {
        std::string mode;
        bool hasSound;
        bool hearsOutput;
        bool hearsInput;
    };
    const std::vector<Case> cases = {{"system", true, true, false},   {"microphone", true, false, true},
                                     {"both", true, true, true},      {"System", false, false, false},
                                     {"", false, false, false},       {"none", false, false, false}};
    // All modes recorded at once over the same tones, playing before the start and after the
    // end: 440 Hz played, 1000 Hz spoken.
    std::vector<std::shared_ptr<capture::ScreenRecorder>> recorders;
    testing::internal::CaptureStdout();
    for (std::size_t i = 0; i < cases.size(); ++i) recorders.push_back(create(cases[i].mode, std::to_string(i) + ".mp4"));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "");  // no warning: the server is there
    {
        TonePlayer output("out", 440, 0.4);
        TonePlayer input("micsink", 1000, 0.4);
        sleepUntil(std::max(output.startTone(), input.startTone()));
        for (auto& recorder : recorders) recorder->start();
        std::this_thread::sleep_for(2s);
        for (auto& recorder : recorders) recorder->stop();
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("mode \"" + cases[i].mode + "\"");
        const std::string path = dir_.file(std::to_string(i) + ".mp4");
        const MovieTracks tracks = countTracks(path);
        EXPECT_EQ(tracks.videoStreams, 1);
        EXPECT_EQ(tracks.audioStreams, cases[i].hasSound ? 1 : 0);
        if (!cases[i].hasSound) continue;
        const auto sound = decodeSound(path);
        ASSERT_TRUE(sound);
        EXPECT_EQ(sound->codec, "aac");
        EXPECT_EQ(sound->sampleRate, 48000);
        EXPECT_EQ(sound->channels, 2);
        EXPECT_NEAR(sound->durationSeconds(), 2.0, 0.3);
        const auto middle = std::span<const float>(sound->mono).subspan(24000, 48000);
        // Every block from just after the encoder's priming to the end holds the tone.
        if (cases[i].hearsOutput) EXPECT_GT(weakestBlock(*sound, 440, 0.03, 0.0), 0.25);
        else EXPECT_LT(meanToneAmplitude(middle, 48000, 440), 0.01);
        if (cases[i].hearsInput) EXPECT_GT(weakestBlock(*sound, 1000, 0.03, 0.0), 0.25);
        else EXPECT_LT(meanToneAmplitude(middle, 48000, 1000), 0.01);
    }
}

// In the file, each first bright frame and its tone's onset are at most 40 ms apart (a frame
// period plus margin), whoever else plays.
TEST_P(SyncTest, FlashAndToneStayWithinAFramePeriod) {
    const std::vector<std::tuple<BesideFfplay, std::string, const char*>> cases = {
        {BesideFfplay::Nobody, "both", "ffplay alone"}, {BesideFfplay::Paplay, "system", "ffplay beside paplay"}};
    for (const auto& [beside, mode, name] : cases) {
        SCOPED_TRACE(name);
        const SyncMeasure m = record(mode, 4.5, beside);
        for (int i = 0; i < 2; ++i) {
            ASSERT_GE(m.flash[i], 0);
            ASSERT_GE(m.tone[i], 0);
            EXPECT_NEAR(m.offsetMs(i), 0, 40);
        }
        std::cout << "[ sync     ] " << soundServerName(GetParam()) << ", " << name << ": flash - tone " << m.offsetMs(0)
                  << " ms, " << m.offsetMs(1) << " ms\n";
    }
}

// A server that goes away mid-recording: one warning, the picture goes on, the sound so far kept.
TEST_P(RecorderSoundTest, ServerVanishingMidRecordingKeepsPictureAndEarlierSound) {
    const std::string path = dir_.file("vanish.mp4");
    testing::internal::CaptureStdout();
    auto recorder = create("system", "vanish.mp4");
    {
        TonePlayer output("out", 440, 0.4);
        output.startTone();
        recorder->start();
        std::this_thread::sleep_for(1s);
        pulse_->kill();
    }
    std::this_thread::sleep_for(1s);
    recorder->stop();
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.rfind("{\"warn\":\"audio unavailable: ", 0), 0u) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
    const auto sound = decodeSound(path);
    ASSERT_TRUE(sound);
    EXPECT_NEAR(sound->durationSeconds(), 2.0, 0.3);
    EXPECT_GT(meanToneAmplitude(std::span<const float>(sound->mono).subspan(12000, 24000), 48000, 440), 0.25);
    const MovieSummary movie = readMovie(path);
    ASSERT_TRUE(movie.readable);
    ASSERT_FALSE(movie.frameTimes.empty());
    EXPECT_GT(movie.frameTimes.back(), 1.6);
}

INSTANTIATE_TEST_SUITE_P(Servers, RecorderSoundTest, kBothServers, serverParamName);
INSTANTIATE_TEST_SUITE_P(Servers, SyncTest, kBothServers, serverParamName);

// Without a sound server the recording goes on: the warning, a video-only file, the result,
// status 0, nothing on standard error.
TEST(RecorderWithoutSoundServer, WarnsAndRecordsThePicture) {
    XvfbServer xvfb(640, 480);
    TempDir dir;
    ProcessOptions options = xvfb.clientOptions();
    options.env["PULSE_SERVER"] = "unix:" + dir.file("no-server");
    options.env["PULSE_RUNTIME_PATH"] = dir.path().string();
    options.env["XDG_RUNTIME_DIR"] = dir.path().string();
    options.env["HOME"] = dir.path().string();
    // Every mode's warning is covered by the track's own tests; one mode shows the whole run.
    const std::string path = dir.file("silent.mp4");
    const ProcessResult result = runProcess({KG_CAPTURE_BENCH, path, "1", "--audio", "both"}, options);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    const auto lines = result.lines();
    ASSERT_EQ(lines.size(), 3u) << result.out;
    const std::string warn = lines[0].value("warn", "");
    EXPECT_EQ(warn.rfind("audio unavailable: ", 0), 0u) << result.out;
    EXPECT_EQ(lines[1].value("status", ""), "recording");
    EXPECT_EQ(lines[2].value("status", ""), "done");
    const MovieTracks tracks = countTracks(path);
    EXPECT_EQ(tracks.videoStreams, 1);
    EXPECT_EQ(tracks.audioStreams, 0);
}

}  // namespace
}  // namespace kg::test
