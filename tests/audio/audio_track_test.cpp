// The sound track against a real PulseAudio or PipeWire server, written through the real movie
// writer and decoded again, without the picture: a change of the default output, an instant
// stop, a server that is missing or hung. What each mode records, and sync, are checked
// through the engine.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include <chrono>
#include <thread>

#include "capture/audio_track.h"
#include "capture/movie/movie_writer.h"
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
// on request.
struct SoundRecording {
    std::string path;
    RecordingDelegate delegate;
    std::unique_ptr<MovieWriter> writer;
    std::unique_ptr<AudioTrack> track;
    std::int64_t epochNs = 0;

    SoundRecording(std::string file, AudioMode mode) : path(std::move(file)) {
        writer = std::make_unique<MovieWriter>(path, delegate);
        track = openAudioTrack(mode, *writer, [](const std::string& reason) { FAIL() << "unexpected warning: " << reason; });
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
};

class AudioTrackTest : public testing::TestWithParam<test::SoundServerKind> {
protected:
    void SetUp() override {
        server_ = std::make_unique<test::PulseServer>(GetParam());
        server_->exportToThisProcess();
    }
    std::unique_ptr<test::PulseServer> server_;
    test::TempDir dir_;
};

// "system" is what the default output plays, and follows the user's choice of another output
// while it records. (PulseAudio also moves the players that did not pin their output, so only
// the new output's own tone tells that the recording followed.)
TEST_P(AudioTrackTest, SystemFollowsTheDefaultOutput) {
    SoundRecording recording(dir_.file("follow.mp4"), AudioMode::System);
    ASSERT_TRUE(recording.track);
    test::TonePlayer out("out", 440, 0.4);
    test::TonePlayer other("micsink", 1000, 0.4);
    std::this_thread::sleep_for(std::chrono::nanoseconds(std::max(out.startTone(), other.startTone()) - nowNs()));
    recording.start();
    std::this_thread::sleep_for(1s);
    ASSERT_EQ(server_->pactl({"set-default-sink", "micsink"}).exitStatus, 0);
    std::this_thread::sleep_for(1200ms);
    recording.finish();
    const auto sound = test::decodeSound(recording.path);
    ASSERT_TRUE(sound);
    const std::span<const float> mono(sound->mono);
    EXPECT_GT(test::meanToneAmplitude(mono.subspan(2400, 36000), 48000, 440), 0.25);
    EXPECT_LT(test::meanToneAmplitude(mono.subspan(2400, 36000), 48000, 1000), 0.01);
    EXPECT_GT(test::meanToneAmplitude(mono.subspan(72000, 28800), 48000, 1000), 0.25);
}

TEST_P(AudioTrackTest, StoppingAtOnceStillGivesAPlayableTrack) {
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

INSTANTIATE_TEST_SUITE_P(Servers, AudioTrackTest,
                         testing::Values(test::SoundServerKind::PulseAudio, test::SoundServerKind::PipeWire),
                         [](const auto& info) { return test::soundServerName(info.param); });

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
