#pragma once
// The pointer's picture and its blending into a frame. Pure, no X calls.

#include <cstdint>
#include <vector>

#include "capture/bgrx_image.h"

namespace kg::capture {

struct CursorImage {
    int width = 0;
    int height = 0;
    int hotX = 0;  // the hot spot: the pixel of the image that sits at the pointer's position
    int hotY = 0;
    std::vector<std::uint32_t> argb;  // premultiplied alpha, row by row, width * height
};

// Draws `cursor` over `frame` with the pointer at (pointerX, pointerY) in the frame's pixels;
// the parts outside the frame are left out.
void blendCursor(const BgrxView& frame, const CursorImage& cursor, std::int64_t pointerX, std::int64_t pointerY);

}  // namespace kg::capture
