// A small program for the X11 tests: shows the recording overlay around the region given as
// four numbers (x y width height, region coordinates) with the control bar next to it, above a
// full-screen plain window that reports presses reaching it. Prints JSON lines:
//   {"event":"shown","overlay_window":id,"bar_window":id}
//   {"event":"changing"|"commit","x":..,"y":..,"width":..,"height":..}  from the overlay
//   {"event":"below_click","x":..,"y":..}  a press that reached the window below (desktop)
//   {"event":"stop"}  the bar's Stop button
// Runs until killed.
#include <cstdlib>
#include <memory>
#include <string>

#include "cli/result_printer.h"
#include "controlbar/recording_control_bar.h"
#include "overlay/recording_overlay.h"
#include "platform/application.h"
#include "platform/screen.h"
#include "platform/timer.h"

namespace {

using namespace kg;

ResultObject regionEvent(const char* event, const Rect& r) {
    return {{"event", std::string(event)}, {"x", r.x}, {"y", r.y}, {"width", r.width},
            {"height", r.height}};
}

// Reports presses in desktop coordinates (y down from the main screen's top).
class BelowView : public View {
public:
    using View::View;
    void draw(GraphicsContext& context) override {
        context.fillRect(bounds(), Color::white(0.5, 1));
    }
    void mouseDown(const MouseEvent& event) override {
        printResult({{"event", std::string("below_click")},
                     {"x", event.locationInWindow.x},
                     {"y", bounds().height - event.locationInWindow.y}});
    }
};

class Demo : public ApplicationDelegate, public RecordingOverlayDelegate {
public:
    explicit Demo(Rect region) : region_(region) {}

    void applicationDidFinishLaunching() override {
        const auto main = Screen::mainScreen();
        const Rect screenFrame = main ? main->frame() : Rect{0, 0, 640, 480};
        below_ = std::make_unique<Window>(screenFrame, kWindowStyleBorderless);
        below_->setContentView(std::make_shared<BelowView>(Rect{}));
        below_->orderFront();

        overlay_.setDelegate(std::shared_ptr<RecordingOverlayDelegate>(self_, this));
        overlay_.show(region_);
        bar_.onStop = [] { printResult({{"event", std::string("stop")}}); };
        if (main) bar_.show(region_, *main);
        // The ids exist once the windows are on the server; report them after a turn.
        report_ = Timer::scheduledOnce(0.3, [this] {
            const auto ids = overlay_.windowIDs();
            printResult({{"event", std::string("shown")},
                         {"overlay_window", std::int64_t(ids.empty() ? 0 : ids[0])},
                         {"bar_window", bar_.window() ? bar_.window()->windowNumber() : 0}});
        });
    }
    void overlayRegionIsChangingTo(RecordingOverlay&, const Rect& region) override {
        if (auto main = Screen::mainScreen()) bar_.reposition(region, *main);
        printResult(regionEvent("changing", region));
    }
    void overlayRegionDidCommitTo(RecordingOverlay&, const Rect& region) override {
        if (auto main = Screen::mainScreen()) bar_.reposition(region, *main);
        printResult(regionEvent("commit", region));
    }

private:
    Rect region_;
    std::shared_ptr<int> self_ = std::make_shared<int>(0);  // aliasing owner for the delegate
    std::unique_ptr<Window> below_;
    RecordingOverlay overlay_;
    RecordingControlBar bar_;
    std::unique_ptr<Timer> report_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        printResult(errorResult("usage: overlay_demo X Y WIDTH HEIGHT"));
        return 1;
    }
    const Rect region{std::atof(argv[1]), std::atof(argv[2]), std::atof(argv[3]),
                      std::atof(argv[4])};
    int qtArgc = 1;
    if (!Application::open(qtArgc, argv)) {
        printResult(errorResult("cannot open the display"));
        return 1;
    }
    Demo demo(region);
    Application::shared().setDelegate(&demo);
    return Application::shared().run();
}
