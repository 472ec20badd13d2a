// The sound track when there is no sound server to record from, without the picture: no socket,
// or one that takes the connection but never answers, as a hung server would. Each costs one
// warning and no track, within the track's time-out, instead of holding up the recording.
// What the modes record, sync, and losing the server mid-recording are checked through the
// engine (recorder_sound_test.cpp).
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "capture/audio_track.h"
#include "capture/movie/movie_writer.h"
#include "capture/recording_delegate.h"
#include "tests/support/temp_dir.h"

namespace kg::capture {
namespace {

using namespace std::chrono_literals;

TEST(AudioTrackWithoutServer, WarnsOnceAndOpensNoTrackWithinTheTimeOut) {
    test::TempDir dir;
    const std::string hung = dir.file("hung");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", hung.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    struct Case {
        std::string socket;
        AudioMode mode;
        const char* warning;
        std::chrono::milliseconds atLeast, below;
    };
    const std::vector<Case> cases = {{dir.file("none"), AudioMode::System, "sound server", 0ms, 4s},
                                     {dir.file("none"), AudioMode::Microphone, "sound server", 0ms, 4s},
                                     {dir.file("none"), AudioMode::Both, "sound server", 0ms, 4s},
                                     {hung, AudioMode::Both, "did not answer", 2s, 5s}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.socket + " " + std::to_string(int(c.mode)));
        ::setenv("PULSE_SERVER", ("unix:" + c.socket).c_str(), 1);
        RecordingDelegate delegate;
        MovieWriter writer(dir.file("silent.mp4"), delegate);
        std::vector<std::string> warnings;
        const auto before = std::chrono::steady_clock::now();
        auto track = openAudioTrack(c.mode, writer, [&](const std::string& reason) { warnings.push_back(reason); });
        const auto took = std::chrono::steady_clock::now() - before;
        EXPECT_EQ(track, nullptr);
        EXPECT_GE(took, c.atLeast);
        EXPECT_LT(took, c.below);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find(c.warning), std::string::npos) << warnings[0];
    }
    ::close(listener);
}

}  // namespace
}  // namespace kg::capture
