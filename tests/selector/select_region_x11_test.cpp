// `select-region` end to end on a private Xvfb, driven with xdotool as a user would: the
// printed line, the exit status, an empty standard error, and what the screen shows.

#include <gtest/gtest.h>

#include <map>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "tests/support/process_runner.h"
#include "tests/support/xvfb.h"

namespace kg {
namespace {

using namespace std::chrono_literals;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

constexpr int kScreenW = 1024;
constexpr int kScreenH = 768;
constexpr std::uint8_t kGrey = 0x80;

// A connection of the test's own with a full-screen grey window under everything, since the
// bare root of Xvfb is black (and black dimmed is still black).
class GreyBackground {
public:
    explicit GreyBackground(const std::string& display) : c_(xcb_connect(display.c_str(), nullptr)) {
        xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        root_ = s->root;
        const xcb_window_t w = xcb_generate_id(c_);
        const uint32_t values[] = {0x00808080u, 1u};
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, root_, 0, 0, kScreenW, kScreenH, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(c_, w);
        sync();
    }
    ~GreyBackground() { xcb_disconnect(c_); }

    void sync() { std::unique_ptr<void, FreeDeleter> r(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    // Blue channel of the root pixel (x, y), y down; the grey is equal in every channel.
    int level(int x, int y) {
        std::unique_ptr<xcb_get_image_reply_t, FreeDeleter> reply(xcb_get_image_reply(
            c_, xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, static_cast<int16_t>(x), static_cast<int16_t>(y), 1, 1, ~0u),
            nullptr));
        return reply ? xcb_get_image_data(reply.get())[0] : -1;
    }

    // Waits until pixel (x, y) shows `expected` (±2); returns the last level seen.
    int waitForLevel(int x, int y, int expected, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        int seen = level(x, y);
        while (std::abs(seen - expected) > 2 && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(20ms);
            seen = level(x, y);
        }
        return seen;
    }

private:
    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
};

constexpr int kDimmed = 83;  // 128 at 65 %

class SelectRegionOnX11 : public ::testing::Test {
protected:
    SelectRegionOnX11() : xvfb(kScreenW, kScreenH), background(xvfb.display()) {}

    std::unique_ptr<test::BackgroundProcess> start(std::map<std::string, std::string> env = {}) {
        auto options = xvfb.clientOptions();
        for (auto& [name, value] : env) options.env[name] = value;
        auto process = std::make_unique<test::BackgroundProcess>(
            std::vector<std::string>{KG_EXECUTABLE, "select-region"}, options);
        // Ready once the screen is dimmed.
        EXPECT_NEAR(background.waitForLevel(5, 5, kDimmed, 15s), kDimmed, 2) << "the selector never dimmed the screen";
        return process;
    }
    void xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        ASSERT_EQ(xvfb.run(args).exitStatus, 0);
    }
    // Press, move in steps, release.
    void dragInSteps(int x0, int y0, int x1, int y1, bool release = true) {
        xdotool({"mousemove", std::to_string(x0), std::to_string(y0)});
        xdotool({"mousedown", "1"});
        for (int i = 1; i <= 5; ++i) {
            xdotool({"mousemove", std::to_string(x0 + (x1 - x0) * i / 5), std::to_string(y0 + (y1 - y0) * i / 5)});
        }
        if (release) xdotool({"mouseup", "1"});
    }

    test::XvfbServer xvfb;
    GreyBackground background;
};

TEST_F(SelectRegionOnX11, DragPrintsTheRegionAndExitsWithZero) {
    // A desktop scale setting must not change the space: points are X pixels.
    auto process = start({{"QT_SCALE_FACTOR", "2"}});
    dragInSteps(100, 200, 400, 400);
    const auto result = process->wait(15s);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "{\"x\":100,\"y\":200,\"width\":300,\"height\":200,\"screen_x\":0,\"screen_y\":0}\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(SelectRegionOnX11, SmallDragIsDiscardedThenAnUpwardDragIsPrinted) {
    auto process = start();
    dragInSteps(300, 300, 340, 500);  // 40 wide: discarded
    EXPECT_EQ(process->waitForLines(1, 500ms), "");
    dragInSteps(700, 600, 500, 450);  // from lower-right to upper-left
    const auto result = process->wait(15s);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "{\"x\":500,\"y\":450,\"width\":200,\"height\":150,\"screen_x\":0,\"screen_y\":0}\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(SelectRegionOnX11, EscapeDuringADragCancels) {
    // A session that names another toolkit platform still gets the X11 one.
    auto process = start({{"QT_QPA_PLATFORM", "wayland"}});
    dragInSteps(100, 100, 500, 500, /*release=*/false);
    xdotool({"key", "Escape"});
    const auto result = process->wait(15s);
    xdotool({"mouseup", "1"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "{\"cancelled\":true}\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(SelectRegionOnX11, ScreenIsDimmedOutsideTheSelectionAndGoneWhenTheLineIsPrinted) {
    auto process = start();
    dragInSteps(200, 200, 600, 500, /*release=*/false);
    // Inside the hole (away from the border and label) the grey shows undimmed.
    EXPECT_NEAR(background.waitForLevel(400, 350, kGrey, 5s), kGrey, 2);
    EXPECT_NEAR(background.level(100, 100), kDimmed, 2);
    EXPECT_NEAR(background.level(900, 700), kDimmed, 2);
    EXPECT_NEAR(background.level(400, 600), kDimmed, 2);
    xdotool({"mouseup", "1"});
    ASSERT_FALSE(process->waitForLines(1, 15s).empty());
    // By the time the line is out, no dimmed pixel is left anywhere.
    EXPECT_NEAR(background.level(5, 5), kGrey, 2);
    EXPECT_NEAR(background.level(400, 350), kGrey, 2);
    EXPECT_NEAR(background.level(1000, 750), kGrey, 2);
    EXPECT_EQ(process->wait(15s).exitStatus, 0);
}

TEST(SelectRegionWithoutDisplay, PrintsCannotOpenDisplayAndExitsWithOne) {
    for (const char* display : {":4711", ""}) {
        test::ProcessOptions options;
        options.env["DISPLAY"] = display;
        options.env["QT_QPA_PLATFORM"] = "xcb";
        const auto result = test::runProcess({KG_EXECUTABLE, "select-region"}, options);
        EXPECT_EQ(result.exitStatus, 1) << display;
        EXPECT_EQ(result.out, "{\"error\":\"cannot open display\"}\n");
        EXPECT_EQ(result.err, "");
    }
}

}  // namespace
}  // namespace kg
