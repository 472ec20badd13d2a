#pragma once
// Copies a rectangle out of a picture of 32-bit pixels into a tightly packed BGRX buffer of the
// rectangle's size; what lies outside the picture is black.

#include <cstdint>
#include <vector>

#include "capture/capture_geometry.h"

namespace kg::capture {

// Copies `pixels` 32-bit pixels from `from` to `to` in B, G, R, X order; `from` is in that
// order too, or in R, G, B, X order when `swapRedBlue`.
void copyRowToBgrx(const std::uint8_t* from, std::uint8_t* to, std::int64_t pixels, bool swapRedBlue);

// `base` holds `height` rows of `width` pixels, `stride` bytes apart, in B, G, R, X order, or
// in R, G, B, X order when `swapRedBlue`.
void copyCrop(const std::uint8_t* base, std::int64_t stride, std::int64_t width, std::int64_t height, bool swapRedBlue,
              const PixelRect& crop, std::vector<std::uint8_t>& out);

}  // namespace kg::capture
