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

std::optional<Point> controlBarOriginOutside(const Rect& region, Size bar, const Rect& screen, double H) {
    const Rect r{region.x, H - region.y - region.height, region.width, region.height};  // global, y up
    const auto clearOfRegion = [&](Point p) {
        return p.x + bar.width <= r.minX() || p.x >= r.maxX() || p.y + bar.height <= r.minY() || p.y >= r.maxY();
    };
    const Point rule = controlBarOrigin(region, bar, screen, H);
    if (clearOfRegion(rule)) return rule;
    const double lowest = screen.minY() + kBarMargin;
    const double highest = screen.maxY() - kBarMargin - bar.height;
    if (lowest > highest) return std::nullopt;
    const double y = std::clamp(r.minY(), lowest, highest);
    for (const double x : {r.maxX() + kBarMargin, r.minX() - kBarMargin - bar.width}) {
        if (x >= screen.minX() + kBarMargin && x + bar.width <= screen.maxX() - kBarMargin) return Point{x, y};
    }
    return std::nullopt;
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
