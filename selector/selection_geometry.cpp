#include "selector/selection_geometry.h"

#include <cmath>
#include <cstdint>

namespace kg {

namespace {
std::int64_t truncated(double v) { return static_cast<std::int64_t>(std::trunc(v)); }

constexpr double kLabelMarginX = 6;
constexpr double kLabelMarginY = 2;
constexpr double kLabelGap = 4;
constexpr double kDotDiameter = 48;
}  // namespace

Rect selectionRect(Point start, Point current) {
    return {std::min(start.x, current.x), std::min(start.y, current.y),
            std::abs(current.x - start.x), std::abs(current.y - start.y)};
}

bool isAcceptedSelection(const Rect& s) {
    return s.width >= kMinimumSelectionSide && s.height >= kMinimumSelectionSide;
}

std::string sizeLabelText(const Rect& s) {
    return std::to_string(truncated(s.width)) + " \u00D7 " + std::to_string(truncated(s.height));
}

Rect sizeLabelBox(const Rect& s, Size text) {
    return {s.midX() - text.width / 2 - kLabelMarginX,
            s.minY() - text.height - 2 * kLabelMarginY - kLabelGap,
            text.width + 2 * kLabelMarginX, text.height + 2 * kLabelMarginY};
}

IdleLayout idleLayout(const Rect& b, double titleWidth, double hintWidth) {
    return {{b.midX() - titleWidth / 2, b.midY() + 10},
            {b.midX() - hintWidth / 2, b.midY() - 20},
            {b.midX() - kDotDiameter / 2, b.midY() + 40, kDotDiameter, kDotDiameter}};
}

ResultObject selectionResult(const Rect& r, const Rect& screenFrame, double h) {
    return ResultObject{
        {"x", truncated(r.x)},
        {"y", truncated(h - r.y - r.height)},
        {"width", truncated(r.width)},
        {"height", truncated(r.height)},
        {"screen_x", truncated(screenFrame.x)},
        {"screen_y", truncated(screenFrame.y)},
    };
}

ResultObject cancellationResult() { return ResultObject{{"cancelled", true}}; }

}  // namespace kg
