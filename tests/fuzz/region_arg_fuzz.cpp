// Any text as --region: parsing returns; what it returns is finite, and a region the limits
// accept fits a movie frame and the X server's coordinate range.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "cli/region_arg.h"
#include "cli/region_limits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto region = kg::parseRegionArg({reinterpret_cast<const char*>(data), size});
    if (!region) return 0;
    const double values[] = {region->x, region->y, region->width, region->height};
    for (const double v : values)
        if (!std::isfinite(v)) std::abort();
    if (kg::regionProblem(*region)) return 0;
    const double w = std::fabs(region->width), h = std::fabs(region->height);
    if (w < 1 || h < 1 || w > kg::kMaxFrameSide || h > kg::kMaxFrameSide ||
        w * h > static_cast<double>(kg::kMaxFrameMacroblocks) * 256)
        std::abort();
    if (std::fabs(region->minX()) > kg::kMaxCoordinate || std::fabs(region->maxY()) > kg::kMaxCoordinate) std::abort();
    return 0;
}
