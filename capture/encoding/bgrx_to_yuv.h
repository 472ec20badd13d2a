#pragma once
// BGRX to 4:2:0 YUV (BT.601, limited range, as the encoder declares), for a rectangle of a
// picture: the parts of a frame that changed are converted alone. Each 2 x 2 block of pixels
// gives four luma samples and one chroma pair, their mean; so the result of a block depends on
// that block alone, and a frame updated part by part equals one converted whole.
//
// Pure, any thread.

#include <cstdint>

#include "capture/bgrx_image.h"
#include "capture/capture_geometry.h"

namespace kg::capture {

struct YuvPlanes {
    std::uint8_t* data[3] = {};  // Y, U, V
    int linesize[3] = {};
};

// Converts `rect` of `source` into the same place of `frame`, which has the source's size.
// `rect` lies inside the source and on the chroma grid: even x, y, width and height.
void convertBgrxToYuv(const BgrxView& source, const PixelRect& rect, const YuvPlanes& frame);

// `rect` grown to the chroma grid and clipped to a width x height picture (both even).
[[nodiscard]] PixelRect alignedToChroma(const PixelRect& rect, std::int64_t width, std::int64_t height);

}  // namespace kg::capture
