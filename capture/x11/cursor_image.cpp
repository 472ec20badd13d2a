#include "capture/x11/cursor_image.h"

#include <algorithm>

namespace kg::capture {

void blendCursor(const BgrxView& frame, const CursorImage& cursor, std::int64_t pointerX, std::int64_t pointerY) {
    if (cursor.argb.size() < static_cast<std::size_t>(cursor.width) * static_cast<std::size_t>(cursor.height)) return;
    const std::int64_t left = pointerX - cursor.hotX;
    const std::int64_t top = pointerY - cursor.hotY;
    const std::int64_t x0 = std::max<std::int64_t>(0, left), y0 = std::max<std::int64_t>(0, top);
    const std::int64_t x1 = std::min<std::int64_t>(frame.width, left + cursor.width);
    const std::int64_t y1 = std::min<std::int64_t>(frame.height, top + cursor.height);
    for (std::int64_t y = y0; y < y1; ++y) {
        const std::uint32_t* src = cursor.argb.data() + (y - top) * cursor.width;
        std::uint8_t* dst = frame.pixel(0, static_cast<int>(y));
        for (std::int64_t x = x0; x < x1; ++x) {
            const std::uint32_t p = src[x - left];
            const std::uint32_t alpha = p >> 24;
            if (alpha == 0) continue;
            std::uint8_t* d = dst + x * 4;
            const std::uint32_t keep = 255 - alpha;
            // Premultiplied "over": source + destination * (1 - alpha), rounded.
            d[0] = static_cast<std::uint8_t>((p & 0xff) + (d[0] * keep + 127) / 255);
            d[1] = static_cast<std::uint8_t>(((p >> 8) & 0xff) + (d[1] * keep + 127) / 255);
            d[2] = static_cast<std::uint8_t>(((p >> 16) & 0xff) + (d[2] * keep + 127) / 255);
        }
    }
}

}  // namespace kg::capture
