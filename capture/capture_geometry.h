#pragma once
// Pure geometry of a capture: from the requested region (points, origin at the first
// display's top-left, y down) to the frame size and to the pixel rectangle of the X screen that
// is grabbed. One point is one pixel on X11.

#include <cstdint>
#include <optional>

#include "platform/geometry.h"

namespace kg::capture {

// A rectangle of screen pixels, in root-window coordinates (origin top-left, y down).
struct PixelRect {
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;

    [[nodiscard]] bool empty() const { return width <= 0 || height <= 0; }
    [[nodiscard]] std::int64_t right() const { return x + width; }
    [[nodiscard]] std::int64_t bottom() const { return y + height; }
    [[nodiscard]] PixelRect intersected(const PixelRect& other) const;
    [[nodiscard]] bool intersects(const PixelRect& other) const { return !intersected(other).empty(); }
    // The smallest rectangle holding both; an empty one adds nothing.
    [[nodiscard]] PixelRect united(const PixelRect& other) const;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// The largest frame edge the encoder accepts.
inline constexpr std::int64_t kMaxFrameEdge = 16384;

// Throws CaptureError when the rectangle cannot be recorded: a coordinate that is not a finite
// number, a width or height below one point (after taking the absolute value: a negative
// width spans from x + width to x), or an edge longer than kMaxFrameEdge.
void checkRegion(const Rect& region);

// The size of the recording. `requested` is the region's |width| and |height| truncated to
// whole points (or the display's size); `frame` is what the file carries: each odd dimension
// rounded up to the next even number, since 4:2:0 video can only hold even sizes. The extra
// row or column comes from the screen beyond the region, never from scaling.
struct FrameGeometry {
    std::int64_t requestedWidth = 0;
    std::int64_t requestedHeight = 0;
    std::int64_t frameWidth = 0;
    std::int64_t frameHeight = 0;
    friend bool operator==(const FrameGeometry&, const FrameGeometry&) = default;
};

// `region` must have passed checkRegion(); without one the display's size is recorded.
[[nodiscard]] FrameGeometry frameGeometryFor(const std::optional<Rect>& region, std::int64_t displayWidth,
                                             std::int64_t displayHeight);

// The screen pixels to grab for `region` (display-relative points) on a display whose
// top-left corner is at `displayX`, `displayY` in root coordinates. A region of the size the
// recording was created with grabs exactly the frame's pixels (so the rounding column or row
// is included); a region of another size grabs its own truncated size, to be scaled into the
// frame. The rectangle is not clipped to the screen.
[[nodiscard]] PixelRect sourcePixels(const Rect& region, const FrameGeometry& geometry, std::int64_t displayX,
                                     std::int64_t displayY);

}  // namespace kg::capture
