#include "cli/region_limits.h"

#include <cmath>
#include <sstream>

namespace kg {

namespace {

std::string describe(const Rect& r) {
    std::ostringstream text;
    text << r.width << " x " << r.height << " at (" << r.x << ", " << r.y << ")";
    return text.str();
}

// The frame side the engine makes of a region side: whole pixels, rounded up to even.
std::int64_t frameSide(double side) {
    const auto pixels = static_cast<std::int64_t>(std::fabs(side));
    return pixels + pixels % 2;
}

}  // namespace

std::optional<std::string> regionProblem(const Rect& region) {
    if (!std::isfinite(region.x) || !std::isfinite(region.y) || !std::isfinite(region.width) ||
        !std::isfinite(region.height))
        return "region is not finite: " + describe(region);
    if (std::fabs(region.width) < 1 || std::fabs(region.height) < 1)
        return "region is smaller than 1 x 1 point: " + describe(region);
    // Compared before any conversion to an integer, so that no magnitude overflows.
    if (std::fabs(region.width) > kMaxFrameSide || std::fabs(region.height) > kMaxFrameSide ||
        ((frameSide(region.width) + 15) / 16) * ((frameSide(region.height) + 15) / 16) > kMaxFrameMacroblocks)
        return "region is larger than a movie can be (at most " + std::to_string(kMaxFrameSide) +
               " points on a side, and no more in all than 8192 x 4352): " + describe(region);
    const double edges[] = {region.minX(), region.maxX(), region.minY(), region.maxY()};
    for (const double edge : edges)
        if (std::fabs(edge) > kMaxCoordinate)
            return "region lies beyond the screen's coordinate range (" + std::to_string(static_cast<int>(kMaxCoordinate)) +
                   " points from the origin): " + describe(region);
    return std::nullopt;
}

}  // namespace kg
