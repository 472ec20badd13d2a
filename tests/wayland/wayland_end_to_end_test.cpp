// `select-region` and `record` on the headless sway desktop: two outputs, a Wayland window and an
// X11 window over it, the virtual pointer and wtype for hands, grim for eyes, movies decoded.
#include <gtest/gtest.h>

#include <thread>

#include "tests/capture/movie_reader.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wayland_desktop.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;
constexpr std::uint32_t kWallpaper = 0x3a6ea5, kApp = 0x808080, kTeal = 0x30b0a0;

// A pixel of ours: frame red, handle white, the bar's fill, clock or Stop colours.
bool ours(Rgb c) {
    return near(c, 0xff0000, 60) || near(c, 0xffffff, 40) || near(c, 0x12121c, 12) || near(c, 0xff8c42, 40) ||
           near(c, 0xff3b30, 40);
}

class WaylandEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        desktop_.showWaylandWindow(kApp, 640, 400);
        desktop_.addOutput();  // HEADLESS-2 at (1280, 0), wallpaper only
        desktop_.showWindow({700, 150, 200, 300}, kTeal);
    }
    std::unique_ptr<BackgroundProcess> start(std::vector<std::string> args) {
        args.insert(args.begin(), KG_EXECUTABLE);
        ProcessOptions options = desktop_.clientOptions();
        options.env["TMPDIR"] = dir_.path();
        options.env["XDG_STATE_HOME"] = dir_.file("state");  // a fresh one: the portal asks
        return std::make_unique<BackgroundProcess>(args, options);
    }
    Rgb pixel(int x, int y) const {
        const auto c = static_cast<int>(desktop_.screenshot({x, y, 1, 1}).at(0, 0));
        return {c >> 16, c >> 8 & 0xff, c & 0xff};
    }
    // Pixels of ours() in all frames but their bottom 3 rows (the pointer holding the lower edge).
    static int oursInMovie(const std::string& movie, const std::function<void(const DecodedFrame&)>& check) {
        int count = 0;
        EXPECT_TRUE(readMovie(movie, [&](const DecodedFrame& f) {
                        for (int y = 0; y < f.height - 3; ++y)
                            for (int x = 0; x < f.width; ++x) count += ours(f.at(x, y));
                        check(f);
                    }).readable);
        return count;
    }
    WaylandDesktop desktop_;
    TempDir dir_;
};

TEST_F(WaylandEndToEnd, SelectRegionDimsWaylandWindowsTakesDragsOnBothOutputsAndEscape) {
    const std::vector<std::pair<std::vector<int>, std::string>> runs = {
        {{}, R"({"cancelled":true})"},
        {{300, 200, 700, 500}, R"({"x":300,"y":200,"width":400,"height":300,"screen_x":0,"screen_y":0})"},
        {{1500, 100, 1800, 350}, R"({"x":1500,"y":100,"width":300,"height":250,"screen_x":1280,"screen_y":0})"}};
    for (const auto& [drag, expected] : runs) {
        desktop_.movePointer(600, 400);
        auto selector = start({"select-region"});
        for (int i = 0; i < 100 && !near(pixel(640, 400), 0x535353, 2); ++i) std::this_thread::sleep_for(50ms);
        EXPECT_TRUE(near(pixel(640, 400), 0x535353, 2)) << "the Wayland window is not dimmed by 0.35";
        if (drag.empty()) {
            desktop_.movePointer(1700, 400);  // sway moves the keyboard to the output the pointer enters
            EXPECT_EQ(desktop_.run({"wtype", "-s", "300", "-k", "Escape"}).exitStatus, 0);
        } else {
            desktop_.drag(drag[0], drag[1], drag[2], drag[3]);
        }
        const ProcessResult result = selector->wait(10s);
        EXPECT_EQ(result.out + result.err, expected + "\n");
        EXPECT_TRUE(near(pixel(640, 400), kApp, 0) && near(pixel(1600, 700), kWallpaper, 0)) << "something is left";
    }
}

TEST_F(WaylandEndToEnd, RecordingFollowsDragAndResizeWithNothingOfOursInItAndStopsByButton) {
    auto recorder = start({"record", "--region", R"({"x":200,"y":150,"width":400,"height":300})", "--output",
                           dir_.file("a.mp4"), "--audio", "none"});
    ASSERT_NE(recorder->waitForLines(1, 30s).find(R"("status":"recording")"), std::string::npos);
    const auto began = std::chrono::steady_clock::now();
    const auto now = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count(); };
    // Drags in steps of a few pixels, as a hand does (sway gives the pointer to the surface below
    // once it leaves our window, button held or not); returns the movie times around it.
    const auto step = [&](const std::vector<int>& drag) {
        const double before = now() - 0.5;
        desktop_.drag(drag[0], drag[1], drag[2], drag[3], 30);
        desktop_.movePointer(1279, 799);
        const std::pair times{before, now() + 0.8};
        std::this_thread::sleep_for(1200ms);
        return times;
    };
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(near(pixel(400, 451), 0xff0000, 0)) << "no red frame just below the region";
    EXPECT_TRUE(near(pixel(203, 153), kApp, 0)) << "something of ours inside the region's corner";
    EXPECT_TRUE(near(pixel(193, 143), 0xffffff, 0)) << "no handle outside the region's corner";
    const auto drag = step({400, 452, 550, 452});    // the frame's lower edge: region x 200 -> 350
    const auto resize = step({757, 457, 857, 517});  // the lower-right handle: 400 x 300 -> 500 x 360
    const auto stop = step({524, 540, 524, 540});    // Stop, on the bar 10 below the region, centred
    const ProcessResult result = recorder->wait(20s);
    ASSERT_EQ(result.lines().size(), 2u) << result.out;
    EXPECT_EQ(result.lines().back().value("status", "") + result.err, "done");
    EXPECT_TRUE(near(pixel(400, 511), kApp, 0)) << "the frame is left on the screen";

    // Movie x 300 and 375 (of 400) show screen x 500 and 575 at first, 650 and 725 after the
    // drag, 725 and 819 after the resize; the teal window spans 700..900.
    int frames = 0, wrong = 0;
    const auto follows = [&](const DecodedFrame& f) {
        const bool teal300 = near(f.at(300, 150), kTeal), teal375 = near(f.at(375, 150), kTeal);
        ++frames;
        if (f.seconds < drag.first) wrong += teal300 || teal375;
        if (f.seconds > drag.second && f.seconds < resize.first) wrong += teal300 || !teal375;
        if (f.seconds > resize.second && f.seconds < stop.first) wrong += !teal300 || !teal375;
    };
    EXPECT_EQ(oursInMovie(dir_.file("a.mp4"), follows), 0) << "pixels of our frame, handles or bar were recorded";
    EXPECT_GT(frames, 10);
    EXPECT_EQ(wrong, 0) << "frames where the capture did not follow the frame";
}

// (A region on the second output is the portal test's; `stop` is the X11 tests'.)
TEST_F(WaylandEndToEnd, AFullScreenRegionHasNoBarAndSaysSo) {
    desktop_.movePointer(2500, 700);
    const ProcessResult full = start({"record", "--region", R"({"x":0,"y":0,"width":1280,"height":800})", "--output",
                                      dir_.file("full.mp4"), "--audio", "none", "--max-seconds", "3"})
                                   ->wait(30s);
    ASSERT_EQ(full.lines().size(), 3u) << full.out;
    EXPECT_EQ(full.lines()[1].value("warn", "").rfind("control bar hidden: no room", 0), 0u) << full.out;
    EXPECT_NEAR(full.lines()[2].value("duration", 0.0), 3.0, 0.5);
    EXPECT_EQ(oursInMovie(dir_.file("full.mp4"), [](const DecodedFrame&) {}), 0) << "a bar or handle was recorded";
}

}  // namespace
}  // namespace kg::test
