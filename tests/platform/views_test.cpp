// Views, windows, drawing, controls, timers and the main queue on the offscreen platform.

#include <gtest/gtest.h>
#include <signal.h>

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

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new test::ApplicationEnvironment);

using namespace std::chrono_literals;

// A view that records what reaches it and declines presses in its inner part, like a frame.
class RecordingView : public View {
public:
    using View::View;
    View* hitTest(Point p) override {
        View* hit = View::hitTest(p);
        if (hit == this && frame().insetBy(20, 20).contains(p)) return nullptr;
        return hit;
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
    struct Entry {
        char kind;
        Point where;
    };
    std::vector<Entry> log;
};

class Views : public ::testing::Test {
protected:
    Views() : window({100, 100, 200, 100}, kWindowStyleBorderless) {
        window.setOpaque(false);
        window.setBackgroundColor(Color::clear());
        window.setContentView(root);
    }
    Window window;
    std::shared_ptr<RecordingView> root = std::make_shared<RecordingView>(Rect{0, 0, 1, 1});
};

TEST_F(Views, ContentViewFillsTheWindowAndConvertsToScreen) {
    EXPECT_EQ(root->frame(), (Rect{0, 0, 200, 100}));
    EXPECT_EQ(root->window(), &window);
    EXPECT_EQ(window.convertRectToScreen({10, 20, 30, 40}), (Rect{110, 120, 30, 40}));
    window.setFrame({50, 60, 300, 150}, true);
    EXPECT_EQ(root->bounds(), (Rect{0, 0, 300, 150}));
    window.setFrameOrigin({7, 8});
    EXPECT_EQ(window.frame(), (Rect{7, 8, 300, 150}));
}

TEST_F(Views, DragsGoToThePressedViewWhereverThePointerIsAndDeclinedPressesGoNowhere) {
    sendMouseEventForTesting(window, MouseAction::Down, {5, 50});
    sendMouseEventForTesting(window, MouseAction::Dragged, {-300, 500});
    sendMouseEventForTesting(window, MouseAction::Up, {900, -40});
    ASSERT_EQ(root->log.size(), 3u);
    EXPECT_EQ(root->log[0].kind, 'd');
    EXPECT_EQ(root->log[0].where, (Point{5, 50}));
    EXPECT_EQ(root->log[1].where, (Point{-300, 500}));
    EXPECT_EQ(root->log[2].kind, 'u');
    EXPECT_EQ(root->log[2].where, (Point{900, -40}));
    root->log.clear();
    sendMouseEventForTesting(window, MouseAction::Down, {100, 50});  // declined interior
    sendMouseEventForTesting(window, MouseAction::Dragged, {110, 50});
    sendMouseEventForTesting(window, MouseAction::Up, {110, 50});
    EXPECT_TRUE(root->log.empty());
}

TEST_F(Views, ButtonsRunTheirActionOnReleaseInsideWhileEnabled) {
    int clicks = 0;
    auto button = std::make_shared<Button>("Go", [&] { ++clicks; });
    button->setFrame({150, 10, 28, 24});
    root->addSubview(button);
    EXPECT_EQ(root->hitTest({160, 20}), button.get());
    sendMouseEventForTesting(window, MouseAction::Down, {160, 20});
    sendMouseEventForTesting(window, MouseAction::Up, {161, 21});
    EXPECT_EQ(clicks, 1);
    sendMouseEventForTesting(window, MouseAction::Down, {160, 20});
    sendMouseEventForTesting(window, MouseAction::Up, {10, 90});  // released outside
    EXPECT_EQ(clicks, 1);
    button->setEnabled(false);
    sendMouseEventForTesting(window, MouseAction::Down, {160, 20});
    sendMouseEventForTesting(window, MouseAction::Up, {160, 20});
    EXPECT_EQ(clicks, 1);
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
    // y up: (2, 97) is near the top row of the image.
    EXPECT_EQ(image.rowsTopDown[2 * 200 + 2], image.at(2, 97));
}

TEST_F(Views, LabelsAndTextDrawAtTheirLowerLeftPoint) {
    auto label = std::make_shared<Label>("00:00");
    label->setFont(Font::monospacedDigitSystem(14, FontWeight::Medium));
    label->setTextColor(Color::white());
    label->setAlignment(TextAlignment::Center);
    label->setFrame({100, 70, 90, 18});
    root->addSubview(label);
    EXPECT_EQ(root->hitTest({120, 85}), root.get()) << "labels take no clicks";
    const Image image = renderWindowForTesting(window);
    int white = 0;
    for (int x = 100; x < 190; ++x)
        for (int y = 70; y < 88; ++y) white += image.at(x, y).r > 200 ? 1 : 0;
    EXPECT_GT(white, 20);
    const Size one = measureText("0", {Font::monospacedDigitSystem(14, FontWeight::Medium)});
    const Size four = measureText("0000", {Font::monospacedDigitSystem(14, FontWeight::Medium)});
    EXPECT_NEAR(four.width, 4 * one.width, 0.01);
    EXPECT_NEAR(measureText("1111", {Font::monospacedDigitSystem(14, FontWeight::Medium)}).width, four.width, 0.01)
        << "digits have equal widths";
    const Font mono = Font::monospacedSystem(13, FontWeight::Semibold);
    EXPECT_NEAR(measureText("iiii", {mono}).width, measureText("WWWW", {mono}).width, 0.01)
        << "every character of the monospaced font has the same advance";
}

TEST(MainThreadServices, TimersAndTheMainQueueRunOnTheMainThread) {
    int ticks = 0;
    std::unique_ptr<Timer> timer;
    timer = Timer::scheduledRepeating(0.01, [&] {
        if (++ticks == 3) timer->invalidate();
    });
    std::atomic<bool> posted{false};
    std::atomic<bool> ranOnMain{false};
    std::thread worker([&, queue = Application::shared().mainQueue()] {
        queue([&] {
            ranOnMain = Application::isMainThread();
            posted = true;
        });
    });
    const auto end = std::chrono::steady_clock::now() + 10s;
    while ((ticks < 3 || !posted) && std::chrono::steady_clock::now() < end) {
        processEventsForTesting();
        std::this_thread::sleep_for(2ms);
    }
    worker.join();
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(timer->isValid());
    EXPECT_TRUE(posted);
    EXPECT_TRUE(ranOnMain);
    // An invalidated timer never runs again.
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(12ms);
        processEventsForTesting();
    }
    EXPECT_EQ(ticks, 3);

    // Intervals beyond what the toolkit holds are clamped, not overflowed.
    const auto distant = Timer::scheduledOnce(1e12, [&] { ++ticks; });
    EXPECT_TRUE(distant->isValid());
    processEventsForTesting();
    EXPECT_EQ(ticks, 3);
}

}  // namespace
}  // namespace kg
