#pragma once
// Turns a per-pixel mask into a short list of rectangles, for X shapes: runs of set pixels on
// each row, with identical consecutive rows merged into one taller band. Pure; y-down pixel
// rows, because X shapes are y-down.

#include <functional>
#include <vector>

namespace kg {

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// `isSet(x, y)` answers for every pixel of a width × height grid (y = 0 is the top row).
[[nodiscard]] std::vector<PixelRect> rectsFromMask(int width, int height,
                                                   const std::function<bool(int, int)>& isSet);

}  // namespace kg
