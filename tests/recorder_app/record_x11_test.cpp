// `record` as a controlling program runs it, on the X11 desktops people run: the built
// executable on a private Xvfb with a wallpaper and a window manager (or none), driven with
// xdotool and signals, every movie decoded to check that the recorded pixels are what the
// screen shows and never our own windows or their shadows.

#include <signal.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <sstream>
#include <thread>

#include "tests/capture/movie_reader.h"
#include "tests/support/desktop.h"
#include "tests/support/process_runner.h"
#include "tests/support/temp_dir.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kWallpaper = 0x2a7fb0;  // blue
constexpr std::uint32_t kWindow = 0xe0a020;     // amber
constexpr int kScreenW = 1280, kScreenH = 800;
constexpr int kOutW = 400, kOutH = 300;  // the movie keeps the first region's size
const char* const kRegion = R"({"x":200,"y":250,"width":400,"height":300})";

// Runs one `record` on a desktop and checks the contract every run shares: "recording" first,
// the final "done" object last, exit status 0, nothing on standard error.
class RecordRun {
public:
    RecordRun(const DesktopSession& desktop, const TempDir& dir, std::vector<std::string> args)
        : desktop_(desktop), movie_(dir.file("out.mp4")) {
        std::vector<std::string> argv = {KG_EXECUTABLE, "record", "--output", movie_, "--audio", "none"};
        argv.insert(argv.end(), args.begin(), args.end());
        ProcessOptions options = desktop.clientOptions();
        options.env["TMPDIR"] = dir.path().string();
        process_ = std::make_unique<BackgroundProcess>(argv, options);
        const std::string out = process_->waitForLines(1, 30s);
        started_ = Clock::now();
        EXPECT_NE(out.find(R"({"status":"recording","output":)"), std::string::npos) << out;
    }
    BackgroundProcess& process() { return *process_; }
    // Seconds since "recording" was printed: about the movie's own time.
    [[nodiscard]] double elapsed() const { return std::chrono::duration<double>(Clock::now() - started_).count(); }

    ProcessResult finish() {
        ProcessResult result = process_->wait(60s);
        EXPECT_EQ(result.exitStatus, 0) << result.out;
        EXPECT_EQ(result.err, "");
        const auto lines = result.lines();
        EXPECT_GE(lines.size(), 2u) << result.out;
        if (lines.size() >= 2) {
            EXPECT_EQ(lines.front().value("output", ""), movie_);
            EXPECT_EQ(lines.back().value("status", ""), "done") << result.out;
            EXPECT_EQ(lines.back().value("path", ""), movie_);
            EXPECT_GT(lines.back().value("size", 0), 0);
        }
        return result;
    }
    MovieSummary decode(const std::function<void(const DecodedFrame&)>& onFrame = {}) const {
        return readMovie(movie_, onFrame);
    }

    // Runs xdotool with these arguments, in one call.
    void xdotool(const std::vector<std::string>& args) const {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto r = desktop_.run(argv);
        ASSERT_EQ(r.exitStatus, 0) << r.err;
    }
    // Presses at (x, y), moves by (dx, dy) in eight steps, releases, and takes the pointer out
    // of the way (desktop pixels).
    void slowDrag(int x, int y, int dx, int dy) const {
        xdotool({"mousemove", std::to_string(x), std::to_string(y), "mousedown", "1"});
        for (int step = 1; step <= 8; ++step) {
            xdotool({"mousemove", std::to_string(x + dx * step / 8), std::to_string(y + dy * step / 8)});
            std::this_thread::sleep_for(40ms);
        }
        xdotool({"mouseup", "1", "mousemove", "1270", "790"});
    }

private:
    const DesktopSession& desktop_;
    std::string movie_;
    std::unique_ptr<BackgroundProcess> process_;
    Clock::time_point started_;
};

std::string hex(std::uint32_t rgb) {
    std::ostringstream s;
    s << std::hex << rgb;
    return s.str();
}

// --- The desktop matrix ---------------------------------------------------------------------

// The screen's colours before the recording: a recorded pixel shows the screen when each of
// its channels lies within the range of the 5 x 5 screen pixels around its place, give or
// take the encoder's error (4:2:0 chroma brightens a saturated colour next to a light edge
// by up to about 35). Edges (decorations, shadows of other windows) are thereby allowed
// to blur; a red frame, a white handle, a black or darkened patch are not.
class ScreenColours {
public:
    explicit ScreenColours(const std::vector<std::uint8_t>& rgb) : lo_(rgb.size()), hi_(rgb.size()) {
        for (int y = 0; y < kScreenH; ++y)
            for (int x = 0; x < kScreenW; ++x)
                for (int k = 0; k < 3; ++k) {
                    int lo = 255, hi = 0;
                    for (int v = std::max(0, y - 2); v <= std::min(kScreenH - 1, y + 2); ++v)
                        for (int u = std::max(0, x - 2); u <= std::min(kScreenW - 1, x + 2); ++u) {
                            lo = std::min<int>(lo, rgb[(v * kScreenW + u) * 3 + k]);
                            hi = std::max<int>(hi, rgb[(v * kScreenW + u) * 3 + k]);
                        }
                    lo_[(y * kScreenW + x) * 3 + k] = lo;
                    hi_[(y * kScreenW + x) * 3 + k] = hi;
                }
    }
    [[nodiscard]] bool shows(int x, int y, Rgb c, int tolerance = 40) const {
        if (x < 0 || y < 0 || x >= kScreenW || y >= kScreenH) return false;
        const std::size_t i = (y * kScreenW + x) * 3;
        const int got[3] = {c.r, c.g, c.b};
        for (int k = 0; k < 3; ++k)
            if (got[k] < lo_[i + k] - tolerance || got[k] > hi_[i + k] + tolerance) return false;
        return true;
    }

    [[nodiscard]] std::string describe(int x, int y) const {
        const std::size_t i = (y * kScreenW + x) * 3;
        return hex(lo_[i] << 16 | lo_[i + 1] << 8 | lo_[i + 2]) + ".." + hex(hi_[i] << 16 | hi_[i + 1] << 8 | hi_[i + 2]);
    }

private:
    std::vector<std::uint8_t> lo_, hi_;
};

struct Region {
    int x, y, width, height;
};

// A frame's pixel (every second one in each direction) that does not show the screen at its
// place in `region`, skipping those `masked` at their screen place (the recorded pointer);
// counts up to `limit`.
struct Mismatch {
    int count = 0;
    std::string first;
};
Mismatch compare(const DecodedFrame& frame, const Region& region, const ScreenColours& screen,
                 const std::function<bool(int, int)>& masked, int limit) {
    Mismatch m;
    for (int fy = 0; fy < frame.height; fy += 2)
        for (int fx = 0; fx < frame.width; fx += 2) {
            const int sx = region.x + (fx * region.width + region.width / 2) / frame.width;
            const int sy = region.y + (fy * region.height + region.height / 2) / frame.height;
            if (masked(sx, sy)) continue;
            const Rgb c = frame.at(fx, fy);
            if (screen.shows(sx, sy, c)) continue;
            if (m.count++ == 0)
                m.first = "frame pixel (" + std::to_string(fx) + ", " + std::to_string(fy) + ") = " +
                          hex(c.r << 16 | c.g << 8 | c.b) + " where the screen at (" + std::to_string(sx) + ", " +
                          std::to_string(sy) + ") spans " + screen.describe(sx, sy);
            if (m.count > limit) return m;
        }
    return m;
}

class RecordOnDesktop : public ::testing::TestWithParam<Desktop> {};

TEST_P(RecordOnDesktop, EveryFrameShowsTheScreenWithoutOurWindowsThroughDragsAndAResize) {
    if (findProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
    if (const auto missing = missingProgram(GetParam()); !missing.empty()) GTEST_SKIP() << missing << " is not installed";
    const TempDir dir;
    DesktopSession desktop(GetParam(), kWallpaper, kScreenW, kScreenH);
    // An application window over part of the region, decorated by the window manager (and
    // shadowed by the compositing manager) as it would be.
    desktop.openWindow(480, 230, 400, 340, kWindow);
    const ScreenColours screen(desktop.screenshot());

    RecordRun run(desktop, dir, {"--region", kRegion, "--max-seconds", "60"});
    std::this_thread::sleep_for(700ms);
    // Slow drag of the frame's top edge (between the handles) 150 pixels right, then a quick
    // one 100 pixels back left: press, move and release in one xdotool call, done before the
    // recorder gets to handle the press (as on a busy machine: it is stopped meanwhile).
    const double slowAt = run.elapsed();
    run.slowDrag(400, 248, 150, 0);
    std::this_thread::sleep_for(1s);
    const double quickAt = run.elapsed();
    run.process().signal(SIGSTOP);
    run.xdotool({"mousemove", "550", "248", "mousedown", "1", "mousemove", "450", "248", "mouseup", "1"});
    run.process().signal(SIGCONT);
    run.xdotool({"mousemove", "1270", "790"});
    std::this_thread::sleep_for(1s);
    // Resize by the lower-right handle (it overlaps the region's corner) by (+100, +60).
    const double resizeAt = run.elapsed();
    run.slowDrag(646, 546, 100, 60);
    std::this_thread::sleep_for(1s);
    // On the screen the frame is only its band, reshaped with the resize: the right band moved
    // from x 650..652 to 750..752 and the region's inside shows what lies below.
    EXPECT_EQ(desktop.pixel(751, 400), 0xff0000u) << desktopName(GetParam());
    EXPECT_EQ(desktop.pixel(651, 400), kWindow) << desktopName(GetParam());
    EXPECT_EQ(desktop.pixel(400, 400), kWallpaper) << desktopName(GetParam());
    const double stopAt = run.elapsed();
    run.process().signal(SIGUSR1);
    run.finish();

    // The region at every step of the drags. The pointer, drawn into the movie, is left out
    // along its path while it holds the frame: the capture follows a drag only on release.
    std::vector<Region> path;
    for (int x = 200; x <= 350; ++x) path.push_back({x, 250, 400, 300});
    for (int t = 1; t <= 100; ++t) path.push_back({250, 250, 400 + t, 300 + (t * 6 + 5) / 10});
    int frames = 0, badFrames = 0;
    std::string firstBad;
    std::array<Region, 3> settled{};  // best match of the last frame before the quick drag, the resize, the stop
    Rgb wallpaperPixel, windowPixel;
    const MovieSummary summary = run.decode([&](const DecodedFrame& f) {
        if (frames++ == 0) wallpaperPixel = f.at(20, 150), windowPixel = f.at(360, 150);
        const double t = f.seconds;
        const bool pointerOnEdge = t > slowAt - 0.5 && t < resizeAt;
        const bool pointerOnCorner = t > resizeAt - 0.5 && t < stopAt - 0.5;
        const auto masked = [&](int sx, int sy) {
            return (pointerOnEdge && sx > 390 && sx < 576 && sy < 276) ||
                   (pointerOnCorner && sx > 636 && sx < 772 && sy > 536 && sy < 634);
        };
        std::size_t best = 0;
        Mismatch bestMismatch{1 << 30, {}};
        for (std::size_t i = 0; i < path.size() && bestMismatch.count > 0; ++i) {
            const Mismatch m = compare(f, path[i], screen, masked, bestMismatch.count);
            if (m.count < bestMismatch.count) best = i, bestMismatch = m;
        }
        if (bestMismatch.count > 2 && badFrames++ == 0)
            firstBad = "at " + std::to_string(t) + " s, " + std::to_string(bestMismatch.count) +
                       "+ pixels differ; " + bestMismatch.first;
        if (t < quickAt) settled[0] = path[best];
        else if (t < resizeAt) settled[1] = path[best];
        else settled[2] = path[best];
    });
    const std::string where = desktopName(GetParam());
    ASSERT_TRUE(summary.readable) << where;
    EXPECT_EQ(summary.width, kOutW);
    EXPECT_EQ(summary.height, kOutH);
    EXPECT_GT(frames, 20) << where;
    EXPECT_TRUE(near(wallpaperPixel, kWallpaper)) << where << ": wallpaper recorded as " << hex(wallpaperPixel.r << 16 | wallpaperPixel.g << 8 | wallpaperPixel.b);
    EXPECT_TRUE(near(windowPixel, kWindow)) << where << ": window recorded as " << hex(windowPixel.r << 16 | windowPixel.g << 8 | windowPixel.b);
    EXPECT_EQ(badFrames, 0) << where << ": " << badFrames << " of " << frames << " frames differ from the screen; first " << firstBad;
    EXPECT_NEAR(settled[0].x, 350, 3) << where << ": the slow drag was not followed";
    EXPECT_NEAR(settled[1].x, 250, 3) << where << ": the quick drag was not followed";
    EXPECT_NEAR(settled[2].width, 500, 6) << where << ": the resize was not followed";
    EXPECT_NEAR(settled[2].height, 360, 4) << where;
}

INSTANTIATE_TEST_SUITE_P(Desktops, RecordOnDesktop,
                         ::testing::Values(Desktop::Bare, Desktop::Openbox, Desktop::OpenboxPicom, Desktop::Xfwm4),
                         [](const auto& info) { return desktopName(info.param); });

// --- A bare X server: the ways a recording ends, a window opened meanwhile -----------------

class RecordOnBareServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (findProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
    }
    TempDir dir_;
    DesktopSession desktop_{Desktop::Bare, kWallpaper, kScreenW, kScreenH};
};

// The run stopped by SIGHUP has no region: it records the first display and shows no window.
TEST_F(RecordOnBareServer, EveryStopPathFinishesThePlayableFileAndWindowsOpenedMeanwhileStayBelowUs) {
    enum class Stop { Command, Button, MaxSeconds, Int, Term, Hup };
    for (const Stop stop : {Stop::Command, Stop::Button, Stop::MaxSeconds, Stop::Int, Stop::Term, Stop::Hup}) {
        SCOPED_TRACE(static_cast<int>(stop));
        const bool whole = stop == Stop::Hup;
        // Unknown arguments are skipped, even those the toolkit would take as its own.
        RecordRun run(desktop_, dir_,
                      stop == Stop::MaxSeconds ? std::vector<std::string>{"--region", kRegion, "--max-seconds", "2", "-display", ":9999"}
                      : whole                  ? std::vector<std::string>{"--max-seconds", "60"}
                                               : std::vector<std::string>{"--region", kRegion, "--max-seconds", "60"});
        std::this_thread::sleep_for(700ms);
        if (stop == Stop::Command) {
            // A window opened over the frame and the bar goes below them, and is recorded.
            // The overlay's interior shows it and passes presses on to it.
            const std::uint32_t window = desktop_.openWindow(150, 200, 600, 450, kWindow);
            std::this_thread::sleep_for(300ms);
            EXPECT_EQ(desktop_.pixel(400, 248), 0xff0000u) << "the frame's top edge is covered";
            EXPECT_LT(desktop_.pixel(306, 580) & 0xf0f0f0, 0x404040u) << "the bar is covered";
            EXPECT_EQ(desktop_.pixel(205, 260), kWindow) << "the overlay's band inside the frame is not see-through";
            run.xdotool({"mousemove", "400", "400", "click", "1", "mousemove", "1270", "790"});
            EXPECT_TRUE(desktop_.pressed(window, 2s)) << "the overlay's interior took the press";
            writeFile(dir_.file("kestrelgrain-recording.pid"), std::to_string(run.process().pid()) + "\n");
            ProcessOptions options;
            options.env["TMPDIR"] = dir_.path().string();
            const auto result = runProcess({KG_EXECUTABLE, "stop"}, options);
            EXPECT_EQ(result.exitStatus, 0);
            EXPECT_EQ(result.out, R"({"status":"stop_signal_sent","pid":)" + std::to_string(run.process().pid()) + "}\n");
        } else if (stop == Stop::Button) {
            // The bar sits 10 points below the region, centred (x 300..500, y 560..600); Stop
            // is its first button, the clock's orange text follows the buttons and ticks.
            const auto clock = [&] {
                const auto rgb = desktop_.screenshot();
                std::vector<std::uint8_t> area;
                int orange = 0;
                for (int y = 571; y < 589; ++y)
                    for (int x = 372; x < 490; ++x) {
                        const auto* p = &rgb[(y * kScreenW + x) * 3];
                        orange += p[0] > 200 && p[1] > 110 && p[1] < 160 && p[2] < 100;
                        area.insert(area.end(), p, p + 3);
                    }
                EXPECT_GT(orange, 20) << "no clock text";
                return area;
            };
            const auto first = clock();
            std::this_thread::sleep_for(1s);
            EXPECT_NE(clock(), first) << "the clock did not tick";
            run.xdotool({"mousemove", "324", "580", "click", "1", "mousemove", "1270", "790"});
        } else if (stop != Stop::MaxSeconds) {
            // Where the first run's window shows, below where a frame's corner would be.
            EXPECT_TRUE(!whole || desktop_.pixel(197, 247) == kWindow) << "something of ours is on the screen";
            run.process().signal(stop == Stop::Int ? SIGINT : stop == Stop::Term ? SIGTERM : SIGHUP);
        }
        const auto result = run.finish();
        EXPECT_EQ(result.lines().size(), 2u) << result.out;
        DecodedFrame last;
        const MovieSummary summary = run.decode([&](const DecodedFrame& f) { last = f; });
        ASSERT_TRUE(summary.readable);
        EXPECT_EQ(summary.codec, "h264");
        EXPECT_EQ(summary.width, whole ? kScreenW : kOutW);
        EXPECT_EQ(summary.height, whole ? kScreenH : kOutH);
        for (const auto& [x, y, rgb] : {std::tuple{0, 0, kWallpaper}, {1279, 0, kWallpaper}, {0, 799, kWallpaper}, {197, 247, kWindow}})
            EXPECT_TRUE(!whole || near(last.at(x, y), rgb)) << x << "," << y;
        if (stop == Stop::Command) {
            EXPECT_TRUE(near(last.at(200, 150), kWindow));
        }
        if (stop == Stop::MaxSeconds) {
            EXPECT_NEAR(result.lines().back().value("duration", 0.0), 2.0, 0.5);
            EXPECT_NEAR(summary.durationSeconds, 2.0, 0.5);
        }
        if (stop >= Stop::Int) {
            EXPECT_GE(summary.durationSeconds, 0.5);
        }
    }
}

TEST_F(RecordOnBareServer, AFailedStartPrintsOnlyTheErrorAndClosesTheWindows) {
    const auto result = runProcess({KG_EXECUTABLE, "record", "--region", kRegion, "--audio", "none", "--output",
                                    dir_.file("missing/out.mp4")},
                                   desktop_.clientOptions());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    const auto lines = result.lines();
    ASSERT_EQ(lines.size(), 1u) << result.out;
    EXPECT_NE(lines[0].value("error", "").find("missing/out.mp4"), std::string::npos) << result.out;
    EXPECT_EQ(desktop_.pixel(400, 248), kWallpaper) << "a window of ours was left on the screen";
}

}  // namespace
}  // namespace kg::test
