#pragma once
// `RegionSelectorAppDelegate`: the application delegate of `select-region`. At launch it puts
// one `RegionOverlayWindow` on every display; the first accepted selection or the Escape key
// is turned into the one result object of the run, and the run ends.
//
// Main thread only. Owns its windows for the life of the process.

#include <functional>
#include <memory>
#include <vector>

#include "cli/result_object.h"
#include "platform/application.h"
#include "selector/region_overlay_window.h"
#include "selector/region_selector_view.h"

namespace kg {

class RegionSelectorAppDelegate : public ApplicationDelegate, public RegionSelectorDelegate {
public:
    // Receives the result object and ends the run. The default takes the windows off the
    // screen (confirmed by the X server, so whatever reacts to the line never sees them),
    // prints the object and terminates the process with status 0.
    using Finish = std::function<void(const ResultObject&)>;
    explicit RegionSelectorAppDelegate(Finish finish = {});

    void applicationDidFinishLaunching() override;
    // The display went away: the run ends with an error object instead of a selection.
    void applicationDidLoseDisplay() override;
    void regionSelected(const Rect& selection, const Screen& screen) override;
    void selectionCancelled() override;

    [[nodiscard]] const std::vector<std::unique_ptr<RegionOverlayWindow>>& overlayWindows() const {
        return overlayWindows_;
    }

private:
    Finish finish_;
    bool finished_ = false;
    std::vector<std::unique_ptr<RegionOverlayWindow>> overlayWindows_;
};

}  // namespace kg
