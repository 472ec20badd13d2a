// `select-region` end to end on a private Xvfb with a grey wallpaper and no window manager,
// driven with xdotool as a user would: the printed line, the exit status, an empty standard
// error, what the screen shows, and the keyboard focus given back at the end.

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "tests/support/desktop.h"
#include "tests/support/process_runner.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kGrey = 0x808080;
constexpr int kGreyLevel = 0x80;
constexpr int kDimmed = 83;  // 128 at 65 %

class SelectRegionOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (findProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
        desktop_ = std::make_unique<DesktopSession>(Desktop::Bare, kGrey, width_, height_, secondMonitorDrop_);
        // An application's window has the keyboard focus when the selection starts.
        focused_ = desktop_->openWindow(700, 20, 200, 100, 0x4060a0);
        desktop_->focus(focused_);
    }

    // Starts the command; returns once the screen is dimmed.
    std::unique_ptr<BackgroundProcess> start(const std::map<std::string, std::string>& env = {}) {
        auto options = desktop_->clientOptions();
        for (const auto& [name, value] : env) options.env[name] = value;
        auto process = std::make_unique<BackgroundProcess>(std::vector<std::string>{KG_EXECUTABLE, "select-region"}, options);
        EXPECT_NEAR(waitForLevel(5, 5, kDimmed, 15s), kDimmed, 2) << "the selector never dimmed the screen";
        return process;
    }
    // Waits for the end: exit status 0, the line printed, nothing on standard error, and the
    // focus back on the window that had it.
    void expectEnd(BackgroundProcess& process, const std::string& line) {
        const auto result = process.wait(15s);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out, line);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(desktop_->inputFocus(), focused_) << "the focus was not given back";
    }
    // The grey level of a screen pixel (the wallpaper is equal in every channel).
    int level(int x, int y) const { return static_cast<int>(desktop_->pixel(x, y) & 0xff); }
    // The selector's red (the idle dot, the border, the size label's box).
    bool red(int x, int y) const {
        const std::uint32_t p = desktop_->pixel(x, y);
        return (p >> 16) > 0xe0 && (p >> 8 & 0xff) < 0x60 && (p & 0xff) < 0x50;
    }
    // Whether `shown` holds within `timeout` (the screen is repainted in parts).
    static bool eventually(const std::function<bool()>& shown, std::chrono::milliseconds timeout = 5s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!shown() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(20ms);
        return shown();
    }
    int waitForLevel(int x, int y, int expected, std::chrono::milliseconds timeout) const {
        eventually([&] { return std::abs(level(x, y) - expected) <= 2; }, timeout);
        return level(x, y);
    }
    void xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        ASSERT_EQ(desktop_->run(args).exitStatus, 0);
    }
    // Press, move in five steps, and release unless told not to.
    void drag(int x0, int y0, int x1, int y1, bool release = true) {
        xdotool({"mousemove", std::to_string(x0), std::to_string(y0), "mousedown", "1"});
        for (int i = 1; i <= 5; ++i)
            xdotool({"mousemove", std::to_string(x0 + (x1 - x0) * i / 5), std::to_string(y0 + (y1 - y0) * i / 5)});
        if (release) xdotool({"mouseup", "1"});
    }

    int width_ = 1024, height_ = 768;
    std::optional<int> secondMonitorDrop_;
    std::unique_ptr<DesktopSession> desktop_;
    std::uint32_t focused_ = 0;
};

// A desktop scale setting must not change the space: points are X pixels, on the screen and
// in the printed line.
TEST_F(SelectRegionOnX11, ASmallDragIsDiscardedAndAnUpwardOneDimsAroundItsBorderedHoleUntilPrinted) {
    auto process = start({{"QT_SCALE_FACTOR", "2"}});
    // The idle dot: 48 across, its lowest point 40 above the screen's centre.
    EXPECT_TRUE(eventually([&] { return red(512, 320) && red(512, 300) && !red(512, 350); })) << "no idle dot";
    drag(300, 300, 340, 500);  // 40 wide: discarded
    EXPECT_EQ(process->waitForLines(1, 500ms), "");
    EXPECT_TRUE(eventually([&] { return red(512, 320); })) << "the idle dot did not come back";
    drag(600, 500, 200, 200, /*release=*/false);  // from lower-right to upper-left
    // Inside the hole (away from the border and label) the grey shows undimmed.
    EXPECT_NEAR(waitForLevel(400, 350, kGreyLevel, 5s), kGreyLevel, 2);
    for (const auto& [x, y] : {std::pair{100, 100}, {900, 700}, {400, 600}}) EXPECT_NEAR(level(x, y), kDimmed, 2);
    // The 2-pixel border straddles the edge; the size label's box sits 4 pixels below it.
    EXPECT_TRUE(eventually([&] { return red(199, 350) && red(200, 350) && red(400, 500) && red(400, 505); }))
        << "border or label box missing";
    EXPECT_NEAR(level(197, 350), kDimmed, 2);
    EXPECT_NEAR(level(400, 502), kDimmed, 2) << "no gap between border and label";
    EXPECT_FALSE(red(512, 320)) << "the idle dot stays while dragging";
    xdotool({"mouseup", "1"});
    ASSERT_FALSE(process->waitForLines(1, 15s).empty());
    // By the time the line is out, no dimmed pixel is left anywhere.
    for (const auto& [x, y] : {std::pair{5, 5}, {400, 350}, {1000, 750}}) EXPECT_NEAR(level(x, y), kGreyLevel, 2);
    expectEnd(*process, "{\"x\":200,\"y\":200,\"width\":400,\"height\":300,\"screen_x\":0,\"screen_y\":0}\n");
}

TEST_F(SelectRegionOnX11, EscapeDuringADragCancelsAndOtherKeysDoNot) {
    // The server's default: the focus follows the pointer.
    focused_ = 1;  // PointerRoot
    desktop_->focus(focused_);
    // A session that names another toolkit platform still gets the X11 one.
    auto process = start({{"QT_QPA_PLATFORM", "wayland"}});
    drag(100, 100, 500, 500, /*release=*/false);
    xdotool({"key", "space"});  // other keys are ignored
    EXPECT_EQ(process->waitForLines(1, 300ms), "");
    xdotool({"key", "Escape"});
    expectEnd(*process, "{\"cancelled\":true}\n");
    xdotool({"mouseup", "1"});
}

// Two monitors of 1280 x 800, the second right of the first and 180 pixels lower: global
// (1280, -180) in the y-up space of the printed line.
class SelectRegionOnTwoMonitors : public SelectRegionOnX11 {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "the two-monitor server (Xorg) needs root";
        width_ = 1280, height_ = 800;
        secondMonitorDrop_ = 180;
        SelectRegionOnX11::SetUp();
    }
};

// A drag on the second monitor gives its rectangle and origin while the first stays idle;
// one that leaves the monitor it was pressed on stays with it (the pointer is grabbed);
// Escape cancels with the pointer on the second monitor.
TEST_F(SelectRegionOnTwoMonitors, DragsBelongToTheMonitorPressedOnReportItsOriginAndEscapeCancels) {
    const auto idleDot = [&](int left) { return red(left + 640, 340) && !red(left + 640, 380); };
    auto process = start();
    EXPECT_TRUE(eventually([&] { return idleDot(0) && red(1280 + 640, 180 + 340); })) << "no idle dot on each monitor";
    EXPECT_NEAR(level(1285, 185), kDimmed, 2) << "the second monitor is not dimmed";
    drag(1380, 280, 2180, 880, /*release=*/false);
    EXPECT_TRUE(eventually([&] { return !red(1280 + 640, 180 + 340); })) << "the dragged monitor keeps its dot";
    EXPECT_TRUE(idleDot(0)) << "the first monitor left its idle state";
    xdotool({"mousemove", "1680", "480", "mouseup", "1"});
    expectEnd(*process, R"({"x":1380,"y":280,"width":300,"height":200,"screen_x":1280,"screen_y":-180})" "\n");

    process = start();
    drag(10, 10, 59, 300);  // 49 wide: discarded
    drag(1380, 280, 1180, 330, /*release=*/false);  // onto the first monitor
    EXPECT_TRUE(idleDot(0)) << "the first monitor took over the drag";
    xdotool({"mousemove", "1080", "380", "mouseup", "1"});
    expectEnd(*process, R"({"x":1080,"y":280,"width":300,"height":100,"screen_x":1280,"screen_y":-180})" "\n");

    process = start();  // the keyboard reaches us whichever monitor the pointer is on
    xdotool({"mousemove", "1900", "500", "key", "Escape"});
    expectEnd(*process, "{\"cancelled\":true}\n");
}

TEST(WithoutDisplay, SelectRegionAndRecordPrintCannotOpenDisplayAndExitWithOne) {
    for (const auto& [command, display] : {std::pair{"select-region", ":4711"}, {"select-region", ""}, {"record", ""}}) {
        ProcessOptions options;
        options.env["DISPLAY"] = display;
        options.env["QT_QPA_PLATFORM"] = "xcb";
        const auto result = runProcess({KG_EXECUTABLE, command, "--max-seconds", "1"}, options);
        EXPECT_EQ(result.exitStatus, 1) << command << " " << display;
        EXPECT_EQ(result.out, "{\"error\":\"cannot open display\"}\n");
        EXPECT_EQ(result.err, "");
    }
}

}  // namespace
}  // namespace kg::test
