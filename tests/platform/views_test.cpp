// Views, windows, drawing, controls, timers and the main queue on the offscreen platform.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/application.h"
#include "platform/controls.h"
#include "platform/testing.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "tests/selector/app_environment.h"

namespace kg {
namespace {

using namespace std::chrono_literals;

// Logs the mouse events that reach it and declines presses in its inner part, like a frame.
class FrameLikeView : public View {
public:
    using View::View;
    View* hitTest(Point p) override {
        View* hit = View::hitTest(p);
        return hit == this && frame().insetBy(20, 20).contains(p) ? nullptr : hit;
    }
    void mouseDown(const MouseEvent& e) override { log.push_back({'d', e.locationInWindow}); }
    void mouseDragged(const MouseEvent& e) override { log.push_back({'m', e.locationInWindow}); }
    void mouseUp(const MouseEvent& e) override { log.push_back({'u', e.locationInWindow}); }
    void draw(GraphicsContext& c) override {
        c.fillRect(bounds(), Color::rgba(0, 0, 1, 1));
        c.fillRect({10, 10, 10, 10}, Color::red(), CompositingOperation::Clear);
        c.fill(Path::roundedRect({30, 30, 40, 40}, 10, 10), Color::white());
        c.stroke(Path::rectangle({80, 30, 10, 10}), Color::black(), 2);
    }
    std::vector<std::pair<char, Point>> log;
};

class Views : public ::testing::Test {
protected:
    Views() {
        window.setOpaque(false);
        window.setBackgroundColor(Color::clear());
        window.setContentView(root);
    }
    void click(MouseAction a, Point p) { sendMouseEventForTesting(window, a, p); }
    Window window{{100, 100, 200, 100}, kWindowStyleBorderless};
    std::shared_ptr<FrameLikeView> root = std::make_shared<FrameLikeView>(Rect{0, 0, 1, 1});
};

TEST_F(Views, PressedViewGetsTheDragWhereverThePointerGoesDeclinedPressesGoNowhere) {
    EXPECT_EQ(root->frame(), (Rect{0, 0, 200, 100})) << "the content view fills the window";
    EXPECT_EQ(window.convertRectToScreen({10, 20, 30, 40}), (Rect{110, 120, 30, 40}));
    click(MouseAction::Down, {5, 50});
    click(MouseAction::Dragged, {-300, 500});
    click(MouseAction::Up, {900, -40});
    using Log = std::vector<std::pair<char, Point>>;
    EXPECT_EQ(root->log, (Log{{'d', {5, 50}}, {'m', {-300, 500}}, {'u', {900, -40}}}));
    root->log.clear();
    click(MouseAction::Down, {100, 50});  // the declined interior
    click(MouseAction::Dragged, {110, 50});
    click(MouseAction::Up, {110, 50});
    EXPECT_TRUE(root->log.empty());
}

TEST_F(Views, ButtonsActOnlyOnAReleaseInsideWhileEnabled) {
    int clicks = 0;
    auto button = std::make_shared<Button>("Go", [&] { ++clicks; });
    button->setFrame({150, 10, 28, 24});
    root->addSubview(button);
    const struct { Point up; bool enabled; int clicks; } cases[] = {
        {{161, 21}, true, 1}, {{10, 90}, true, 1} /* released outside */, {{160, 20}, false, 1},
    };
    for (const auto& c : cases) {
        button->setEnabled(c.enabled);
        click(MouseAction::Down, {160, 20});
        click(MouseAction::Up, c.up);
        EXPECT_EQ(clicks, c.clicks);
    }
    EXPECT_TRUE(root->log.empty()) << "the button took the presses, not its superview";
}

TEST_F(Views, DrawingOperationsLandWhereTheyShouldYUp) {
    const Image image = renderWindowForTesting(window);
    ASSERT_EQ(image.width, 200);
    EXPECT_EQ(image.at(2, 2), (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(image.at(15, 15).a, 0) << "the clear operation punches a transparent hole";
    EXPECT_EQ(image.at(50, 50), (Rgba{255, 255, 255, 255}));
    EXPECT_EQ(image.at(30, 30), (Rgba{0, 0, 255, 255})) << "rounded corner left untouched";
    EXPECT_EQ(image.at(80, 35), (Rgba{0, 0, 0, 255})) << "stroke centred on the edge";
    EXPECT_EQ(image.at(85, 35), (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(image.rowsTopDown[2 * 200 + 2], image.at(2, 97)) << "y up: row 97 is the image's third";
}

TEST(MainThreadServices, TimersAndWorkPostedFromOtherThreadsRunOnTheMainThread) {
    int ticks = 0;
    std::unique_ptr<Timer> timer;
    timer = Timer::scheduledRepeating(0.01, [&] {
        if (++ticks == 3) timer->invalidate();
    });
    std::atomic<bool> posted{false}, ranOnMain{false};
    std::thread worker([&, queue = Application::shared().mainQueue()] {
        queue([&] {
            ranOnMain = Application::isMainThread();
            posted = true;
        });
    });
    const auto distant = Timer::scheduledOnce(1e12, [&] { ++ticks; });  // clamped, not overflowed
    const auto end = std::chrono::steady_clock::now() + 10s;
    while ((ticks < 3 || !posted) && std::chrono::steady_clock::now() < end) {
        processEventsForTesting();
        std::this_thread::sleep_for(2ms);
    }
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(12ms);
        processEventsForTesting();
    }
    worker.join();
    EXPECT_EQ(ticks, 3) << "an invalidated timer never runs again; the distant one not yet";
    EXPECT_FALSE(timer->isValid());
    EXPECT_TRUE(distant->isValid());
    EXPECT_TRUE(posted);
    EXPECT_TRUE(ranOnMain);
}

}  // namespace
}  // namespace kg
