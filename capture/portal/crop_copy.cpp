#include "capture/portal/crop_copy.h"

#include <cstring>

namespace kg::capture {

void copyRowToBgrx(const std::uint8_t* from, std::uint8_t* to, std::int64_t pixels, bool swapRedBlue) {
    if (!swapRedBlue) {
        std::memcpy(to, from, static_cast<std::size_t>(pixels * 4));
        return;
    }
    for (std::int64_t x = 0; x < pixels; ++x, from += 4, to += 4) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
        to[3] = from[3];
    }
}

void copyCrop(const std::uint8_t* base, std::int64_t stride, std::int64_t width, std::int64_t height, bool swapRedBlue,
              const PixelRect& crop, std::vector<std::uint8_t>& out) {
    out.assign(static_cast<std::size_t>(crop.width * crop.height * 4), 0);
    const PixelRect visible = crop.intersected({0, 0, width, height});
    for (std::int64_t y = visible.y; y < visible.bottom(); ++y) {
        const std::uint8_t* from = base + y * stride + visible.x * 4;
        std::uint8_t* to = out.data() + ((y - crop.y) * crop.width + (visible.x - crop.x)) * 4;
        copyRowToBgrx(from, to, visible.width, swapRedBlue);
    }
}

}  // namespace kg::capture
