#include "capture/portal/shared_output.h"

#include <cmath>

namespace kg::capture {

bool streamCouldShow(const CastStream& stream, const WaylandOutput& output) {
    if (!stream.outputName.empty() && stream.outputName != output.name) return false;
    if (stream.hasPosition && (stream.x != 0 || stream.y != 0) &&
        (stream.x != output.logical.x || stream.y != output.logical.y))
        return false;
    if (!stream.hasSize) return true;
    return (stream.width == output.logical.width && stream.height == output.logical.height) ||
           (stream.width == output.pixelWidth && stream.height == output.pixelHeight);
}

const WaylandOutput* outputUnder(const PixelRect& layoutRect, const std::vector<WaylandOutput>& outputs) {
    const WaylandOutput* best = nullptr;
    std::int64_t bestArea = 0;
    for (const WaylandOutput& output : outputs) {
        const PixelRect common = layoutRect.intersected(output.logical);
        const std::int64_t area = common.empty() ? 0 : common.width * common.height;
        if (area > bestArea) {
            best = &output;
            bestArea = area;
        }
    }
    return best;
}

PixelRect streamPixels(const PixelRect& layoutRect, const WaylandOutput& output, std::int64_t streamWidth,
                       std::int64_t streamHeight) {
    const double scaleX = output.logical.width > 0 ? static_cast<double>(streamWidth) / output.logical.width : 1;
    const double scaleY = output.logical.height > 0 ? static_cast<double>(streamHeight) / output.logical.height : 1;
    const auto left = static_cast<std::int64_t>(std::lround((layoutRect.x - output.logical.x) * scaleX));
    const auto top = static_cast<std::int64_t>(std::lround((layoutRect.y - output.logical.y) * scaleY));
    const auto right = static_cast<std::int64_t>(std::lround((layoutRect.right() - output.logical.x) * scaleX));
    const auto bottom = static_cast<std::int64_t>(std::lround((layoutRect.bottom() - output.logical.y) * scaleY));
    return {left, top, std::max<std::int64_t>(1, right - left), std::max<std::int64_t>(1, bottom - top)};
}

}  // namespace kg::capture
