#include "controlbar/control_bar_layout.h"

#include <algorithm>

namespace kg::controlbar {

Point controlBarOrigin(const Rect& region, Size bar, const Rect& screen, double H) {
    const double bottom = H - region.y - region.height;
    const double belowY = bottom - bar.height - kBarMargin;
    double aboveY = bottom + region.height + kBarMargin;
    if (screen.maxY() - kBarMargin < aboveY + bar.height) {
        aboveY = screen.maxY() - bar.height - kBarMargin;
    }
    const double y = belowY >= screen.minY() + kBarMargin ? belowY : aboveY;

    const double centreX = region.x + region.width / 2 - bar.width / 2;
    double x = std::min(screen.maxX() - bar.width - kBarMargin, centreX);
    x = std::max(x, screen.minX() + kBarMargin);
    return {x, y};
}

ControlBarContentLayout controlBarContentLayout(Size bar) {
    const double buttonY = (bar.height - 24) / 2;
    return {
        .stopButton = {10, buttonY, 28, 24},
        .pauseButton = {40, buttonY, 28, 24},
        .timerLabel = {72, (bar.height - 18) / 2, bar.width - 82, 18},
        .background = Rect{0, 0, bar.width, bar.height}.insetBy(kBackgroundBorderWidth / 2,
                                                                  kBackgroundBorderWidth / 2),
    };
}

}  // namespace kg::controlbar
