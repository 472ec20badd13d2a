// A shaped window on a real X server without a compositing manager: only the drawn frame
// exists on screen, only the band the view hit-tests takes input, and a resize reshapes both.

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

// Hit-tests a 10-point band, draws a 3-point red frame.
class FrameView : public View {
public:
    using View::View;
    View* hitTest(Point p) override { return frame().contains(p) && !frame().insetBy(10, 10).contains(p) ? this : nullptr; }
    void draw(GraphicsContext& c) override {
        c.fillRect(bounds(), Color::red());
        c.fillRect(bounds().insetBy(3, 3), Color::red(), CompositingOperation::Clear);
    }
};

// Total area of a shape, as the server reports it.
long shapeArea(xcb_connection_t* c, xcb_window_t w, xcb_shape_kind_t kind) {
    std::unique_ptr<xcb_shape_get_rectangles_reply_t, decltype(&std::free)> r(
        xcb_shape_get_rectangles_reply(c, xcb_shape_get_rectangles(c, w, kind), nullptr), &std::free);
    if (!r) return -1;
    long area = 0;
    const xcb_rectangle_t* rects = xcb_shape_get_rectangles_rectangles(r.get());
    for (int i = 0; i < xcb_shape_get_rectangles_rectangles_length(r.get()); ++i) area += long(rects[i].width) * rects[i].height;
    return area;
}

TEST(ShapedWindowOnX11, OnlyTheDrawingShowsOnlyTheBandTakesInputAndResizingReshapes) {
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
    window.setTransparencyMode(TransparencyMode::ShapedToDrawing);
    window.setContentView(std::make_shared<FrameView>(Rect{}));
    window.orderFront();
    ASSERT_GT(window.windowNumber(), 0);

    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> c(xcb_connect(xvfb.display().c_str(), nullptr), &xcb_disconnect);
    const auto id = static_cast<xcb_window_t>(window.windowNumber());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (shapeArea(c.get(), id, XCB_SHAPE_SK_INPUT) != 200 * 100 - 180 * 80 && std::chrono::steady_clock::now() < end) {
        processEventsForTesting();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(shapeArea(c.get(), id, XCB_SHAPE_SK_INPUT), 200 * 100 - 180 * 80);
    EXPECT_EQ(shapeArea(c.get(), id, XCB_SHAPE_SK_BOUNDING), 200 * 100 - 194 * 94);

    window.setFrame({100, 100, 300, 200}, true);
    processEventsForTesting();
    EXPECT_EQ(shapeArea(c.get(), id, XCB_SHAPE_SK_INPUT), 300L * 200 - 280L * 180);
    EXPECT_EQ(shapeArea(c.get(), id, XCB_SHAPE_SK_BOUNDING), 300L * 200 - 294L * 194);
    window.close();
}

}  // namespace
}  // namespace kg
