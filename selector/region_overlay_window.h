#pragma once
// `RegionOverlayWindow`: one borderless window covering one display above everything else,
// holding its `RegionSelectorView`. Main thread only. Never closed: it lives until the
// process ends (its owner, the application delegate, keeps it).

#include <memory>

#include "platform/screen.h"
#include "platform/window.h"
#include "selector/region_selector_view.h"

namespace kg {

class RegionOverlayWindow : public Window {
public:
    // Creates, configures and shows the window on `screen` and makes it the key window.
    RegionOverlayWindow(const Screen& screen, RegionSelectorDelegate* appDelegate);

    [[nodiscard]] RegionSelectorView& selectorView() const { return *selectorView_; }

private:
    std::shared_ptr<RegionSelectorView> selectorView_;
};

}  // namespace kg
