// A shaped window on a real X server without a compositing manager: only the drawn frame
// exists on screen, and only the band the view hit-tests takes input.

#include <gtest/gtest.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/application.h"
#include "platform/testing.h"
#include "platform/window.h"
#include "tests/support/xvfb.h"

namespace kg {
namespace {

using namespace std::chrono_literals;

class FrameView : public View {
public:
    using View::View;
    View* hitTest(Point p) override {
        if (!frame().contains(p) || frame().insetBy(10, 10).contains(p)) return nullptr;
        return this;
    }
    void draw(GraphicsContext& c) override {
        const Rect b = bounds();
        c.fillRect({0, 0, b.width, 3}, Color::red());
        c.fillRect({0, b.height - 3, b.width, 3}, Color::red());
        c.fillRect({0, 3, 3, b.height - 6}, Color::red());
        c.fillRect({b.width - 3, 3, 3, b.height - 6}, Color::red());
    }
};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// Total area of a shape, as the server reports it.
long shapeArea(xcb_connection_t* c, xcb_window_t w, xcb_shape_kind_t kind) {
    std::unique_ptr<xcb_shape_get_rectangles_reply_t, FreeDeleter> r(
        xcb_shape_get_rectangles_reply(c, xcb_shape_get_rectangles(c, w, kind), nullptr));
    if (!r) return -1;
    long area = 0;
    const xcb_rectangle_t* rects = xcb_shape_get_rectangles_rectangles(r.get());
    for (int i = 0; i < xcb_shape_get_rectangles_rectangles_length(r.get()); ++i) area += long(rects[i].width) * rects[i].height;
    return area;
}

TEST(ShapedWindowOnX11, OnlyTheDrawingShowsAndOnlyTheBandTakesInput) {
    test::XvfbServer xvfb(800, 600);
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    static int argc = 1;
    static char name[] = "kg-test";
    static char* argv[] = {name, nullptr};
    ASSERT_TRUE(Application::open(argc, argv));
    ASSERT_FALSE(Application::shared().hasCompositingManager());

    Window window({100, 100, 200, 100}, kWindowStyleBorderless);
    window.setOpaque(false);
    window.setBackgroundColor(Color::clear());
    window.setLevel(kScreenSaverWindowLevel);
    window.setTransparencyMode(TransparencyMode::ShapedToDrawing);
    window.setContentView(std::make_shared<FrameView>(Rect{}));
    EXPECT_EQ(window.windowNumber(), 0);
    window.orderFront();
    ASSERT_GT(window.windowNumber(), 0);

    xcb_connection_t* c = xcb_connect(xvfb.display().c_str(), nullptr);
    const auto id = static_cast<xcb_window_t>(window.windowNumber());
    const long band = 200 * 100 - 180 * 80;
    const long drawn = 200 * 100 - 194 * 94;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (shapeArea(c, id, XCB_SHAPE_SK_INPUT) != band && std::chrono::steady_clock::now() < end) {
        processEventsForTesting();
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(shapeArea(c, id, XCB_SHAPE_SK_INPUT), band);
    EXPECT_EQ(shapeArea(c, id, XCB_SHAPE_SK_BOUNDING), drawn);

    // Resizing reshapes.
    window.setFrame({100, 100, 300, 200}, true);
    processEventsForTesting();
    EXPECT_EQ(shapeArea(c, id, XCB_SHAPE_SK_INPUT), 300L * 200 - 280L * 180);
    xcb_disconnect(c);
    window.close();
}

}  // namespace
}  // namespace kg
