// Any text as --region: what parsing returns is finite, and a region the limits accept fits a
// movie frame and the X server's coordinate range.
#include <cmath>
#include <cstdlib>

#include "cli/region_arg.h"
#include "cli/region_limits.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const auto r = kg::parseRegionArg({reinterpret_cast<const char*>(data), size});
    if (!r) return 0;
    for (const double v : {r->x, r->y, r->width, r->height})
        if (!std::isfinite(v)) std::abort();
    const double w = std::fabs(r->width), h = std::fabs(r->height), far = kg::kMaxCoordinate;
    if (!kg::regionProblem(*r) && (w < 1 || h < 1 || w * h > kg::kMaxFrameMacroblocks * 256.0 ||
                                   std::fabs(r->minX()) > far || std::fabs(r->maxY()) > far))
        std::abort();
    return 0;
}
