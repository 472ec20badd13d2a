// The overlay on a real X server (Xvfb, no compositing manager) driven by real input
// (xdotool): presses in the interior reach the window below, the frame moves and resizes with
// the mouse, the control bar follows, and each release commits the region.
#include <gtest/gtest.h>

#include <signal.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/process_runner.h"
#include "tests/support/xvfb.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

class OverlayX11Test : public ::testing::Test {
protected:
    void SetUp() override {
        if (findProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
        demo_ = std::make_unique<BackgroundProcess>(
            std::vector<std::string>{OVERLAY_DEMO, "200", "150", "400", "300"},
            xvfb_.clientOptions());
        demo_->waitForLines(1, 20s);
        ASSERT_FALSE(lines().empty()) << "the demo did not start";
        const json shown = lines()[0];
        ASSERT_EQ(shown.value("event", ""), "shown") << shown.dump();
        overlayWindow_ = shown["overlay_window"].get<std::int64_t>();
        barWindow_ = shown["bar_window"].get<std::int64_t>();
        ASSERT_GT(overlayWindow_, 0);
        ASSERT_GT(barWindow_, 0);
    }

    std::vector<json> lines() {
        ProcessResult r;
        r.out = demo_->waitForLines(0, 0ms);
        return r.lines();
    }
    // Waits for the next line with this event after the first `skip` lines.
    json waitForEvent(const std::string& event, std::size_t skip) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        for (std::size_t want = skip + 1; std::chrono::steady_clock::now() < deadline;) {
            demo_->waitForLines(want, 200ms);
            const auto all = lines();
            for (std::size_t i = skip; i < all.size(); ++i) {
                if (all[i].value("event", "") == event) return all[i];
            }
            want = all.size() + 1;
        }
        return {};
    }
    void xdo(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto r = xvfb_.run(argv);
        ASSERT_EQ(r.exitStatus, 0) << r.err;
    }
    // A press-drag-release from (x0, y0) to (x1, y1) in desktop coordinates, in a few steps.
    void drag(int x0, int y0, int x1, int y1) {
        xdo({"mousemove", std::to_string(x0), std::to_string(y0)});
        std::this_thread::sleep_for(100ms);
        xdo({"mousedown", "1"});
        for (int step = 1; step <= 4; ++step) {
            std::this_thread::sleep_for(60ms);
            xdo({"mousemove", std::to_string(x0 + (x1 - x0) * step / 4),
                 std::to_string(y0 + (y1 - y0) * step / 4)});
        }
        std::this_thread::sleep_for(150ms);
        xdo({"mouseup", "1"});
    }
    Geometry geometry(std::int64_t window) {
        const auto r = xvfb_.run({"xdotool", "getwindowgeometry", "--shell",
                                  std::to_string(window)});
        Geometry g;
        std::sscanf(r.out.c_str(), "WINDOW=%*d\nX=%d\nY=%d\nWIDTH=%d\nHEIGHT=%d", &g.x, &g.y,
                    &g.width, &g.height);
        return g;
    }
    // One frame of the whole screen as the X server shows it, RGB, rows top down.
    struct Screenshot {
        int width = 0;
        std::string rgb;
        [[nodiscard]] std::array<int, 3> at(int x, int y) const {
            const auto i = static_cast<std::size_t>((y * width + x) * 3);
            return {static_cast<unsigned char>(rgb[i]), static_cast<unsigned char>(rgb[i + 1]),
                    static_cast<unsigned char>(rgb[i + 2])};
        }
    };
    Screenshot screenshot() {
        const auto r = runProcess({findProgram("ffmpeg"), "-loglevel", "error", "-f", "x11grab",
                                   "-video_size", "1280x800", "-i", xvfb_.display(),
                                   "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"},
                                  xvfb_.clientOptions());
        EXPECT_EQ(r.out.size(), 1280u * 800u * 3u) << r.err;
        return {1280, r.out};
    }

    static void expectRegion(const json& line, double x, double y, double w, double h) {
        ASSERT_FALSE(line.is_null()) << "no such line";
        EXPECT_DOUBLE_EQ(line["x"].get<double>(), x) << line.dump();
        EXPECT_DOUBLE_EQ(line["y"].get<double>(), y) << line.dump();
        EXPECT_DOUBLE_EQ(line["width"].get<double>(), w) << line.dump();
        EXPECT_DOUBLE_EQ(line["height"].get<double>(), h) << line.dump();
    }

    XvfbServer xvfb_{1280, 800};
    std::unique_ptr<BackgroundProcess> demo_;
    std::int64_t overlayWindow_ = 0;
    std::int64_t barWindow_ = 0;
};

TEST_F(OverlayX11Test, InteriorClicksReachTheWindowBelowAndTheFrameMovesAndResizes) {
    // Placement: the window 3 points beyond the region, the bar centred 10 points below.
    const Geometry overlay = geometry(overlayWindow_);
    EXPECT_EQ(overlay.x, 197);
    EXPECT_EQ(overlay.y, 147);
    EXPECT_EQ(overlay.width, 406);
    EXPECT_EQ(overlay.height, 306);
    const Geometry bar = geometry(barWindow_);
    EXPECT_EQ(bar.x, 300);
    EXPECT_EQ(bar.y, 460);

    // On screen, without a compositing manager: the frame and handles are drawn, everything
    // else of the overlay and the bar's rounded corners show the grey window below.
    if (!findProgram("ffmpeg").empty()) {
        const Screenshot shot = screenshot();
        if (shot.rgb.size() == 1280u * 800u * 3u) {
            struct Probe { const char* what; int x, y; std::array<int, 3> lo, hi; };
            const std::array<int, 3> grey{120, 120, 120}, greyHi{135, 135, 135};
            const Probe probes[] = {
                {"interior", 400, 300, grey, greyHi},
                {"band inside the frame", 207, 300, grey, greyHi},
                {"left red edge", 198, 300, {250, 0, 0}, {255, 5, 5}},
                {"top red edge", 400, 147, {250, 0, 0}, {255, 5, 5}},
                {"nw handle", 204, 154, {250, 250, 250}, {255, 255, 255}},
                {"nw handle outline", 198, 154, {0, 0, 0}, {5, 5, 5}},
                {"bar corner", 300, 460, grey, greyHi},
                {"bar background", 306, 480, {0, 0, 0}, {40, 40, 45}},
                {"stop glyph", 324, 480, {200, 30, 20}, {255, 80, 70}},
            };
            for (const auto& p : probes) {
                const auto c = shot.at(p.x, p.y);
                for (int k = 0; k < 3; ++k) {
                    EXPECT_TRUE(c[k] >= p.lo[k] && c[k] <= p.hi[k])
                        << p.what << ": " << c[0] << "," << c[1] << "," << c[2];
                }
            }
        }
    }

    // A click in the interior, and one just inside the red frame, reach the window below.
    std::size_t seen = lines().size();
    xdo({"mousemove", "400", "300", "click", "1"});
    const json below = waitForEvent("below_click", seen);
    ASSERT_FALSE(below.is_null()) << "the interior took the click";
    EXPECT_DOUBLE_EQ(below["x"].get<double>(), 400);
    EXPECT_DOUBLE_EQ(below["y"].get<double>(), 300);
    for (const auto& line : lines()) EXPECT_NE(line.value("event", ""), "commit");

    // Move: press on the top red edge, drag by (+50, +60).
    seen = lines().size();
    drag(400, 148, 450, 208);
    expectRegion(waitForEvent("commit", seen), 250, 210, 400, 300);
    EXPECT_FALSE(waitForEvent("changing", seen).is_null()) << "no step was reported";
    const Geometry moved = geometry(overlayWindow_);
    EXPECT_EQ(moved.x, 247);
    EXPECT_EQ(moved.y, 207);
    EXPECT_EQ(geometry(barWindow_).x, 350);
    EXPECT_EQ(geometry(barWindow_).y, 520);

    // Resize by the se handle (its centre 7 points inside the window's corner): +40, +30.
    seen = lines().size();
    drag(247 + 406 - 7, 207 + 306 - 7, 247 + 406 - 7 + 40, 207 + 306 - 7 + 30);
    expectRegion(waitForEvent("commit", seen), 250, 210, 440, 330);
    const Geometry resized = geometry(overlayWindow_);
    EXPECT_EQ(resized.width, 446);
    EXPECT_EQ(resized.height, 336);

    // The nw handle dragged past the opposite corner in four steps of (+148, +98): the first
    // two are accepted, the last two would invert the frame and are refused, so the window
    // keeps the frame of the second step and the release commits that.
    seen = lines().size();
    drag(247 + 7, 207 + 7, 247 + 7 + 592, 207 + 7 + 392);
    expectRegion(waitForEvent("commit", seen), 250 + 296, 210 + 196, 440 - 296, 330 - 196);
    EXPECT_EQ(geometry(overlayWindow_).width, 440 - 296 + 6);

    // The Stop button takes a click through the shaped, non-activating panel.
    seen = lines().size();
    const Geometry barNow = geometry(barWindow_);
    xdo({"mousemove", std::to_string(barNow.x + 24), std::to_string(barNow.y + 20), "click", "1"});
    EXPECT_FALSE(waitForEvent("stop", seen).is_null()) << "the Stop click did not arrive";

    demo_->signal(SIGTERM);
    EXPECT_EQ(demo_->wait(10s).err, "") << "the windows wrote to standard error";
}

}  // namespace
}  // namespace kg::test
