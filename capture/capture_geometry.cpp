#include "capture/capture_geometry.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "capture/capture_error.h"

namespace kg::capture {

namespace {

// Keeps far-away coordinates representable; anything this far out is off every screen anyway.
constexpr double kCoordinateLimit = 1e12;

std::int64_t toPixel(double value) {
    return static_cast<std::int64_t>(std::floor(std::clamp(value, -kCoordinateLimit, kCoordinateLimit)));
}

std::string describe(const Rect& r) {
    std::ostringstream text;
    text << r.width << " x " << r.height << " at (" << r.x << ", " << r.y << ")";
    return text.str();
}

}  // namespace

PixelRect PixelRect::united(const PixelRect& o) const {
    if (o.empty()) return *this;
    if (empty()) return o;
    const std::int64_t left = std::min(x, o.x), top = std::min(y, o.y);
    return {left, top, std::max(right(), o.right()) - left, std::max(bottom(), o.bottom()) - top};
}

PixelRect PixelRect::intersected(const PixelRect& o) const {
    const std::int64_t left = std::max(x, o.x);
    const std::int64_t top = std::max(y, o.y);
    const std::int64_t r = std::min(right(), o.right());
    const std::int64_t b = std::min(bottom(), o.bottom());
    if (r <= left || b <= top) return {left, top, 0, 0};
    return {left, top, r - left, b - top};
}

void checkRegion(const Rect& region) {
    if (!std::isfinite(region.x) || !std::isfinite(region.y) || !std::isfinite(region.width) ||
        !std::isfinite(region.height))
        throw CaptureError("region is not finite: " + describe(region));
    const double width = std::fabs(region.width);
    const double height = std::fabs(region.height);
    if (width < 1 || height < 1)
        throw CaptureError("region is smaller than 1 x 1 point: " + describe(region));
    if (width > kMaxFrameEdge || height > kMaxFrameEdge)
        throw CaptureError("region is larger than " + std::to_string(kMaxFrameEdge) + " points on a side: " +
                           describe(region));
}

FrameGeometry frameGeometryFor(const std::optional<Rect>& region, std::int64_t displayWidth,
                               std::int64_t displayHeight) {
    FrameGeometry g;
    if (region) {
        g.requestedWidth = static_cast<std::int64_t>(std::fabs(region->width));
        g.requestedHeight = static_cast<std::int64_t>(std::fabs(region->height));
    } else {
        g.requestedWidth = displayWidth;
        g.requestedHeight = displayHeight;
    }
    g.frameWidth = g.requestedWidth + (g.requestedWidth % 2);
    g.frameHeight = g.requestedHeight + (g.requestedHeight % 2);
    return g;
}

PixelRect sourcePixels(const Rect& region, const FrameGeometry& geometry, std::int64_t displayX,
                       std::int64_t displayY) {
    PixelRect p;
    p.x = displayX + toPixel(region.minX());
    p.y = displayY + toPixel(region.minY());
    p.width = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::min(std::fabs(region.width), kCoordinateLimit)));
    p.height = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::min(std::fabs(region.height), kCoordinateLimit)));
    if (p.width == geometry.requestedWidth) p.width = geometry.frameWidth;
    if (p.height == geometry.requestedHeight) p.height = geometry.frameHeight;
    return p;
}

}  // namespace kg::capture
