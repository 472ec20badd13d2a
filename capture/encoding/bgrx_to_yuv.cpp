#include "capture/encoding/bgrx_to_yuv.h"

#include <algorithm>

namespace kg::capture {

// Integer BT.601 coefficients scaled by 256; chroma from the sum of four pixels, so by 1024.
// Written for the compiler to vectorise (built with -O3): no branches, no clamping needed,
// since the coefficients keep every result within 16..240.
void convertBgrxToYuv(const BgrxView& source, const PixelRect& rect, const YuvPlanes& frame) {
    const int x0 = static_cast<int>(rect.x), blocks = static_cast<int>(rect.width / 2);
    for (int y = static_cast<int>(rect.y); y < rect.bottom(); y += 2) {
        const std::uint8_t* top = source.pixel(x0, y);
        const std::uint8_t* bottom = top + source.stride;
        std::uint8_t* lumaTop = frame.data[0] + static_cast<std::ptrdiff_t>(y) * frame.linesize[0] + x0;
        std::uint8_t* lumaBottom = lumaTop + frame.linesize[0];
        std::uint8_t* u = frame.data[1] + static_cast<std::ptrdiff_t>(y / 2) * frame.linesize[1] + x0 / 2;
        std::uint8_t* v = frame.data[2] + static_cast<std::ptrdiff_t>(y / 2) * frame.linesize[2] + x0 / 2;
        for (int i = 0; i < blocks; ++i) {
            const std::uint8_t* a = top + 8 * i;
            const std::uint8_t* b = bottom + 8 * i;
            auto luma = [](int blue, int green, int red) {
                return static_cast<std::uint8_t>(((66 * red + 129 * green + 25 * blue + 128) >> 8) + 16);
            };
            lumaTop[2 * i] = luma(a[0], a[1], a[2]);
            lumaTop[2 * i + 1] = luma(a[4], a[5], a[6]);
            lumaBottom[2 * i] = luma(b[0], b[1], b[2]);
            lumaBottom[2 * i + 1] = luma(b[4], b[5], b[6]);
            const int blue = a[0] + a[4] + b[0] + b[4], green = a[1] + a[5] + b[1] + b[5], red = a[2] + a[6] + b[2] + b[6];
            u[i] = static_cast<std::uint8_t>(((-38 * red - 74 * green + 112 * blue + 512) >> 10) + 128);
            v[i] = static_cast<std::uint8_t>(((112 * red - 94 * green - 18 * blue + 512) >> 10) + 128);
        }
    }
}

PixelRect alignedToChroma(const PixelRect& rect, std::int64_t width, std::int64_t height) {
    const std::int64_t left = std::max<std::int64_t>(0, rect.x & ~std::int64_t{1});
    const std::int64_t top = std::max<std::int64_t>(0, rect.y & ~std::int64_t{1});
    const std::int64_t right = std::min(width, (rect.right() + 1) & ~std::int64_t{1});
    const std::int64_t bottom = std::min(height, (rect.bottom() + 1) & ~std::int64_t{1});
    if (right <= left || bottom <= top) return {};
    return {left, top, right - left, bottom - top};
}

}  // namespace kg::capture
