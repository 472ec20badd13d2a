#include "selector/region_selector_app_delegate.h"

#include <algorithm>

#include "cli/result_printer.h"
#include "platform/desktop_session.h"
#include "selector/selection_geometry.h"

namespace kg {

namespace {
void printAndTerminate(const ResultObject& result) {
    Application& app = Application::shared();
    // The windows go first: a recording started the moment the line is read must not capture
    // the dimmed picture.
    app.orderOutAllWindowsAndSync();
    printResult(result);
    app.terminate();
}
}  // namespace

RegionSelectorAppDelegate::RegionSelectorAppDelegate(Finish finish)
    : finish_(finish ? std::move(finish) : Finish(printAndTerminate)) {}

void RegionSelectorAppDelegate::applicationDidFinishLaunching() {
    auto screens = Screen::screens();
    if (screens.empty()) {
        // Nothing to select on; waiting forever would hang the caller.
        finished_ = true;
        finish_(errorResult("no display found"));
        return;
    }
    // A Wayland compositor gives the keyboard to the window mapped last: the one on the
    // display under the pointer, as far as Xwayland knows where that is.
    if (DesktopSession::current().displayServer() == DisplayServer::wayland) {
        const Point pointer = View::mouseLocation();
        std::stable_partition(screens.begin(), screens.end(),
                              [&](const Screen& screen) { return !screen.frame().contains(pointer); });
    }
    for (const Screen& screen : screens) {
        overlayWindows_.push_back(std::make_unique<RegionOverlayWindow>(screen, this));
    }
    Application::shared().activateIgnoringOtherApps(true);
}

void RegionSelectorAppDelegate::applicationDidLoseDisplay() {
    if (finished_) return;
    finished_ = true;
    printResult(errorResult(kDisplayLostReason));
}

void RegionSelectorAppDelegate::regionSelected(const Rect& selection, const Screen& screen) {
    if (finished_) return;
    finished_ = true;
    const auto main = Screen::mainScreen();
    const double h = main ? main->frame().height : screen.frame().height;
    finish_(selectionResult(selection, screen.frame(), h));
}

void RegionSelectorAppDelegate::selectionCancelled() {
    if (finished_) return;
    finished_ = true;
    finish_(cancellationResult());
}

}  // namespace kg
