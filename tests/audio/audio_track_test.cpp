// The sound track against a real PulseAudio daemon, written through the real movie writer and
// decoded again: which mode records what, timing against the monotonic clock, a server that is
// missing or goes away.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "capture/audio/pulse_audio_track.h"
#include "capture/audio_track.h"
#include "capture/movie_writer.h"
#include "capture/recording_delegate.h"
#include "tests/audio/movie_probe.h"
#include "tests/audio/tone_analysis.h"
#include "tests/audio/tone_player.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"

namespace kg::capture {
namespace {

using namespace std::chrono_literals;

std::int64_t nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// One recording of sound only: the track opened on a writer, started at the epoch, finished
// after `during` returns.
struct SoundRecording {
    std::string path;
    RecordingDelegate delegate;
    std::unique_ptr<MovieWriter> writer;
    std::unique_ptr<AudioTrack> track;
    std::mutex mutex;
    std::vector<std::string> warnings;
    std::int64_t epochNs = 0;

    SoundRecording(std::string file, AudioMode mode) : path(std::move(file)) {
        writer = std::make_unique<MovieWriter>(path, delegate);
        track = openAudioTrack(mode, *writer, [this](const std::string& reason) {
            std::lock_guard lock(mutex);
            warnings.push_back(reason);
        });
    }
    void start() {
        writer->open();
        epochNs = nowNs();
        if (track) track->start(epochNs);
    }
    void finish() {
        if (track) track->finish(nowNs());
        writer->close();
    }
    std::vector<std::string> warningsSoFar() {
        std::lock_guard lock(mutex);
        return warnings;
    }
};

class AudioTrackTest : public testing::Test {
protected:
    void SetUp() override { server_.exportToThisProcess(); }
    test::PulseServer server_;
    test::TempDir dir_;
};

TEST_F(AudioTrackTest, ModesRecordTheirOwnSourcesIntoOneStereoAacTrack) {
    // All three modes at once, over the same two tones: 440 Hz to the output, 1000 Hz to the
    // input.
    struct Case {
        AudioMode mode;
        bool hearsOutput;
        bool hearsInput;
    };
    const std::vector<Case> cases = {{AudioMode::System, true, false},
                                     {AudioMode::Microphone, false, true},
                                     {AudioMode::Both, true, true}};
    std::vector<std::unique_ptr<SoundRecording>> recordings;
    for (const auto& c : cases) {
        recordings.push_back(std::make_unique<SoundRecording>(dir_.file("mode" + std::to_string(int(c.mode)) + ".mp4"), c.mode));
        ASSERT_TRUE(recordings.back()->track) << "no track for mode " << int(c.mode);
    }
    for (auto& r : recordings) r->start();
    {
        test::TonePlayer output("out", 440, 0.4);
        test::TonePlayer input("micsink", 1000, 0.4);
        output.startTone();
        input.startTone();
        std::this_thread::sleep_for(1500ms);
    }
    for (auto& r : recordings) r->finish();

    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(int(cases[i].mode));
        EXPECT_TRUE(recordings[i]->warningsSoFar().empty());
        const auto tracks = test::countTracks(recordings[i]->path);
        EXPECT_EQ(tracks.audioStreams, 1);
        const auto sound = test::decodeSound(recordings[i]->path);
        ASSERT_TRUE(sound);
        EXPECT_EQ(sound->codec, "aac");
        EXPECT_EQ(sound->sampleRate, 48000);
        EXPECT_EQ(sound->channels, 2);
        EXPECT_NEAR(sound->durationSeconds(), 1.5, 0.25);
        // The middle second, clear of the edges.
        const auto middle = std::span<const float>(sound->mono).subspan(24000, 24000);
        const double output = test::meanToneAmplitude(middle, 48000, 440);
        const double input = test::meanToneAmplitude(middle, 48000, 1000);
        const auto stats = dynamic_cast<audio::PulseAudioTrack&>(*recordings[i]->track).stats();
        SCOPED_TRACE(testing::Message() << "inserted " << stats.insertedFrames << " dropped " << stats.droppedFrames
                                        << " lost chunks " << stats.chunksDropped);
        if (cases[i].hearsOutput) EXPECT_GT(output, 0.25); else EXPECT_LT(output, 0.01);
        if (cases[i].hearsInput) EXPECT_GT(input, 0.25); else EXPECT_LT(input, 0.01);
    }
}

TEST_F(AudioTrackTest, OtherModesOpenNoTrackAndWarnNothing) {
    for (const char* text : {"System", "MICROPHONE", "Both", "", "none", "system ", "both\n"}) {
        SCOPED_TRACE(text);
        const AudioMode mode = audioModeFromText(text);
        EXPECT_EQ(mode, AudioMode::None);
        RecordingDelegate delegate;
        MovieWriter writer(dir_.file("none.mp4"), delegate);
        bool warned = false;
        EXPECT_EQ(openAudioTrack(mode, writer, [&](const std::string&) { warned = true; }), nullptr);
        EXPECT_FALSE(warned);
    }
    EXPECT_EQ(audioModeFromText("system"), AudioMode::System);
    EXPECT_EQ(audioModeFromText("microphone"), AudioMode::Microphone);
    EXPECT_EQ(audioModeFromText("both"), AudioMode::Both);
}

// The tone's onset in the file sits where the monotonic clock says it was heard.
TEST_F(AudioTrackTest, ToneOnsetLandsAtItsMonotonicTime) {
    for (const AudioMode mode : {AudioMode::System, AudioMode::Both}) {
        SCOPED_TRACE(int(mode));
        SoundRecording recording(dir_.file("onset.mp4"), mode);
        ASSERT_TRUE(recording.track);
        test::TonePlayer player("out", 1000, 0.5);
        recording.start();
        std::this_thread::sleep_for(700ms);
        const std::int64_t onsetNs = player.startTone();
        std::this_thread::sleep_for(500ms);
        recording.finish();
        const auto sound = test::decodeSound(recording.path);
        ASSERT_TRUE(sound);
        const auto heard = test::toneOnsetSeconds(sound->mono, 48000, 1000, 0.2);
        ASSERT_TRUE(heard);
        const double expected = static_cast<double>(onsetNs - recording.epochNs) / 1e9;
        EXPECT_NEAR(sound->startSeconds + *heard, expected, 0.02);
        RecordProperty("onset_error_ms_" + std::to_string(int(mode)), std::to_string((sound->startSeconds + *heard - expected) * 1000));
    }
}

TEST_F(AudioTrackTest, StoppingAtOnceStillGivesAPlayableTrack) {
    SoundRecording recording(dir_.file("instant.mp4"), AudioMode::Both);
    ASSERT_TRUE(recording.track);
    recording.start();
    recording.finish();
    recording.track->finish(nowNs());  // a second finish is harmless
    EXPECT_EQ(test::countTracks(recording.path).audioStreams, 1);
    const auto sound = test::decodeSound(recording.path);
    ASSERT_TRUE(sound);
    EXPECT_LT(sound->durationSeconds(), 0.2);
}

TEST_F(AudioTrackTest, ServerVanishingMidRecordingWarnsOnceAndKeepsTheSoundSoFar) {
    SoundRecording recording(dir_.file("vanish.mp4"), AudioMode::Both);
    ASSERT_TRUE(recording.track);
    recording.start();
    {
        test::TonePlayer player("out", 440, 0.5);
        player.startTone();
        std::this_thread::sleep_for(1000ms);
        server_.kill();
    }
    std::this_thread::sleep_for(700ms);
    const auto before = std::chrono::steady_clock::now();
    recording.finish();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    const auto warnings = recording.warningsSoFar();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("sound server"), std::string::npos) << warnings[0];

    const auto sound = test::decodeSound(recording.path);
    ASSERT_TRUE(sound);
    // The track runs to the end: the tone while the server lived, silence after.
    EXPECT_NEAR(sound->durationSeconds(), 1.7, 0.3);
    const std::span<const float> mono(sound->mono);
    EXPECT_GT(test::meanToneAmplitude(mono.subspan(12000, 24000), 48000, 440), 0.3);
    EXPECT_LT(test::meanToneAmplitude(mono.subspan(mono.size() - 12000), 48000, 440), 0.01);
}

// A socket that takes the connection but never answers, as a hung server would: the track
// gives up within its time-out instead of holding up the recording.
TEST(AudioTrackWithoutServer, HungServerTimesOutWithAWarning) {
    test::TempDir dir;
    const std::string path = dir.file("hung");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ::setenv("PULSE_SERVER", ("unix:" + path).c_str(), 1);

    RecordingDelegate delegate;
    MovieWriter writer(dir.file("hung.mp4"), delegate);
    std::vector<std::string> warnings;
    const auto before = std::chrono::steady_clock::now();
    auto track = openAudioTrack(AudioMode::System, writer, [&](const std::string& reason) { warnings.push_back(reason); });
    const auto took = std::chrono::steady_clock::now() - before;
    ::close(listener);
    EXPECT_EQ(track, nullptr);
    EXPECT_GE(took, 2s);
    EXPECT_LT(took, 5s);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("did not answer"), std::string::npos) << warnings[0];
}

TEST(AudioTrackWithoutServer, WarnsOnceAndOpensNoTrack) {
    test::TempDir dir;
    ::setenv("PULSE_SERVER", ("unix:" + dir.file("no-such-socket")).c_str(), 1);
    for (const AudioMode mode : {AudioMode::System, AudioMode::Microphone, AudioMode::Both}) {
        RecordingDelegate delegate;
        MovieWriter writer(dir.file("silent.mp4"), delegate);
        std::vector<std::string> warnings;
        const auto before = std::chrono::steady_clock::now();
        auto track = openAudioTrack(mode, writer, [&](const std::string& reason) { warnings.push_back(reason); });
        EXPECT_LT(std::chrono::steady_clock::now() - before, 4s);
        EXPECT_EQ(track, nullptr);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("sound server"), std::string::npos) << warnings[0];
    }
}

}  // namespace
}  // namespace kg::capture
