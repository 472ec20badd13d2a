// The screen-cast portal as the engine's source on a headless Wayland desktop (sway, PipeWire,
// xdg-desktop-portal-wlr): recordings decoded down to pixels, the stored permission, and every
// failure as its result line with nothing on standard error.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/capture/recorder_fixture.h"
#include "tests/support/wayland_desktop.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;
constexpr std::uint32_t kGrey = 0x808080, kSwayWallpaper = 0x3a6ea5;

class PortalCaptureTest : public EngineTest {
protected:
    std::filesystem::path tokenFile() const {
        return std::filesystem::path(desktop_.clientEnv().at("XDG_STATE_HOME")) / "kestrelgrain-capture" /
               "screen-cast-restore-token";
    }
    void SetUp() override { desktop_.exportToThisProcess(); }
    // The next desktop in this process must not start with this one's variables.
    void TearDown() override {
        for (const auto& [name, value] : desktop_.clientEnv()) ::unsetenv(name.c_str());
    }

    WaylandDesktop desktop_;
};

// The window's four corners inside, and the wallpaper one pixel outside each edge; `blur`
// pixels further in and out where the picture was scaled (the filter mixes the edge).
void expectExactly(const DecodedFrame& f, int x, int y, int w, int h, std::uint32_t colour, std::uint32_t outside,
                   int blur = 0) {
    const int l = x + blur, t = y + blur, r = x + w - 1 - blur, b = y + h - 1 - blur;
    for (auto [px, py] : {std::pair{l, t}, {r, t}, {l, b}, {r, b}})
        EXPECT_TRUE(near(f.at(px, py), colour)) << px << "," << py;
    for (auto [px, py] : {std::pair{x - 1 - blur, y + h / 2}, {x + w + blur, y + h / 2}, {x + w / 2, y - 1 - blur},
                          {x + w / 2, y + h + blur}})
        EXPECT_TRUE(near(f.at(px, py), outside)) << px << "," << py;
}

// The output the person chose (HEADLESS-2, right of HEADLESS-1): the region cropped exactly,
// the cursor drawn in, a move within it followed, a move onto the other monitor refused.
TEST_F(PortalCaptureTest, TheChosenOutputCroppedWithCursorAndMovesThenTheStoredPermissionSparesTheQuestion) {
    const std::string second = desktop_.addOutput();
    desktop_.showWindow({1380, 100, 300, 200}, kGreen);
    desktop_.showWindow({1800, 500, 200, 150}, kGrey, WaylandDesktop::Motion::Moving);
    desktop_.chooseOutput(second);
    auto recorder = create(kg::Rect{1330, 50, 800, 600}, "second-output.mp4");  // relative to HEADLESS-1
    recorder->start();
    desktop_.movePointer(1630, 150);  // over the green window, hot spot at region (300, 100)
    pause(1.2);
    try {
        recorder->updateRegion({100, 100, 800, 600});
        ADD_FAILURE() << "a region on the monitor that is not shared was accepted";
    } catch (const capture::CaptureError& error) {
        EXPECT_NE(std::string(error.what()).find("HEADLESS-1"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find(second), std::string::npos) << error.what();
    }
    recorder->updateRegion({1300, 20, 800, 600});
    pause(1.0);
    const ResultObject result = stopFromMain(recorder);
    EXPECT_NEAR(std::get<double>(*result.find("duration")), 2.3, 0.3);
    MovieSummary movie;
    const auto all = frames(&movie);
    ASSERT_EQ(movie.width, 800);
    // A picture once the pointer rests, before the move at 1.2 s, and the last one after it.
    const auto rested = std::find_if(all.begin(), all.end(), [](auto& f) { return f.seconds > 0.8; });
    ASSERT_NE(rested, all.end());
    ASSERT_LT(rested->seconds, 1.15);
    ASSERT_GT(all.back().seconds, 1.4);
    expectExactly(*rested, 50, 50, 300, 200, kGreen, kSwayWallpaper);
    expectExactly(all.back(), 80, 80, 300, 200, kGreen, kSwayWallpaper);
    // The cursor drawn in: dark and light pixels just below-right of its hot spot, on green.
    for (const auto& [frame, x, y] : {std::tuple{&*rested, 300, 100}, {&all.back(), 330, 130}}) {
        int cursorPixels = 0;
        for (int dy = 1; dy < 12; ++dy)
            for (int dx = 0; dx < 6; ++dx) cursorPixels += !near(frame->at(x + dx, y + dy), kGreen);
        EXPECT_GE(cursorPixels, 10) << "at " << frame->seconds << " s";
    }

    // Asked once: the token is kept for its owner only, and the next run shares the output
    // without asking.
    EXPECT_EQ(desktop_.chooserCalls(), 1);
    struct stat info{};
    ASSERT_EQ(::stat(tokenFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    auto again = create(kg::Rect{1330, 50, 800, 600}, "again.mp4");
    again->start();
    pause(0.8);
    stopFromMain(again);
    EXPECT_EQ(desktop_.chooserCalls(), 1);
    ASSERT_FALSE(frames().empty());
    expectExactly(frames().back(), 50, 50, 300, 200, kGreen, kSwayWallpaper);

    // A new recording on HEADLESS-1 while the stored permission shares HEADLESS-2: refused,
    // and the permission forgotten so that the next run asks again.
    EXPECT_THROW(create(kg::Rect{100, 100, 400, 300}, "refused.mp4"), capture::CaptureError);
    EXPECT_FALSE(std::filesystem::exists(tokenFile()));
}

// Nothing changes on the screen: the portal's stream sends no frame at all after the first.
TEST_F(PortalCaptureTest, AStillMonitorAtScaleTwoIsCroppedInItsOwnPixelsInFewFramesOfTheFullDuration) {
    ASSERT_EQ(desktop_.swaymsg({"output", "HEADLESS-1", "scale", "2"}).exitStatus, 0);  // 640 x 400 points
    desktop_.showWindow({100, 80, 200, 120}, kRed);
    desktop_.movePointer(600, 380);  // before the stream exists: out of the way, no change later
    auto recorder = create(kg::Rect{50, 40, 400, 240}, "scaled.mp4");
    recorder->start();
    pause(3.0);
    const ResultObject result = stopFromMain(recorder);
    EXPECT_NEAR(std::get<double>(*result.find("duration")), 3.0, 0.3);
    MovieSummary movie;
    const auto all = frames(&movie);
    ASSERT_FALSE(all.empty());
    EXPECT_LE(all.size(), 10u);  // a refresh a second, not 30
    EXPECT_NEAR(movie.durationSeconds, 3.0, 0.3);
    EXPECT_EQ(movie.width, 400);  // points, scaled down from the stream's 800 x 480 pixels
    expectExactly(all.back(), 50, 40, 200, 120, kRed, kSwayWallpaper, 2);
}

TEST_F(PortalCaptureTest, DeclinedAndEndedByTheCompositorAreResultLines) {
    desktop_.showWindow({0, 0, 400, 300}, kGrey, WaylandDesktop::Motion::Moving);
    desktop_.chooseOutput("");
    const ProcessResult declined = runProcess({KG_CAPTURE_BENCH, dir_.file("declined.mp4"), "2"}, desktop_.clientOptions());
    EXPECT_EQ(declined.out + declined.err, "{\"error\":\"screen capture permission denied\"}\n");

    desktop_.chooseOutput("HEADLESS-1");
    const std::string path = dir_.file("ended.mp4");
    BackgroundProcess running({KG_CAPTURE_BENCH, path, "4", "0", "0", "400", "300"}, desktop_.clientOptions());
    running.waitForLines(1, 10s);
    pause(1.5);
    EXPECT_EQ(desktop_.endScreenCasts(), 1);
    const ProcessResult ended = running.wait(15s);
    EXPECT_EQ(ended.err, "");
    const auto lines = ended.lines();
    ASSERT_EQ(lines.size(), 3u) << ended.out;
    EXPECT_EQ(lines[0].value("status", ""), "recording");
    EXPECT_EQ(lines[1].value("error", ""), "recording failed: the compositor ended the screen cast");
    EXPECT_EQ(lines[2].value("status", ""), "done");
    EXPECT_NEAR(lines[2].value("duration", 0.0), 4.0, 0.3);  // the last picture held until the stop
    MovieSummary movie = readMovie(path);
    EXPECT_TRUE(movie.readable);
    EXPECT_NEAR(movie.durationSeconds, 4.0, 0.3);
}

TEST(PortalCaptureUnavailable, WithoutThePortalOrItsScreenCastTheErrorNamesIt) {
    for (PortalSetup setup : {PortalSetup::None, PortalSetup::NoScreenCast}) {
        WaylandDesktop desktop(setup);
        TempDir dir;
        const ProcessResult result = runProcess({KG_CAPTURE_BENCH, dir.file("none.mp4"), "1"}, desktop.clientOptions());
        EXPECT_EQ(result.err, "");
        const auto lines = result.lines();
        ASSERT_EQ(lines.size(), 1u) << result.out;
        EXPECT_EQ(lines[0].value("error", "").rfind("screen capture unavailable: ", 0), 0u) << result.out;
        EXPECT_FALSE(std::filesystem::exists(dir.file("none.mp4")));  // no black X11 grab instead
    }
}

}  // namespace
}  // namespace kg::test
