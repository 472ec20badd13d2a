#pragma once
// The whole screen's pixels at one moment. The recorder takes one just before it shows its
// own windows, so the capture knows what lies under them, compositor shadows on the wallpaper
// included, even where they never move away (the bar's first place, the handles).
//
// Threads: any; the snapshot is not changed after it is taken.

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/bgrx_image.h"

namespace kg::capture {

class X11Display;

struct ScreenSnapshot {
    std::vector<std::uint8_t> pixels;  // BGRX rows, stride 4 × width
    int width = 0;
    int height = 0;

    [[nodiscard]] BgrxView view() const {
        return {const_cast<std::uint8_t*>(pixels.data()), width, height, static_cast<std::ptrdiff_t>(width) * 4};
    }
};

// One GetImage of the root window; nullptr when the server refuses it or its pixels are not
// 32-bit BGRX.
[[nodiscard]] std::shared_ptr<const ScreenSnapshot> takeScreenSnapshot(const X11Display& display);

}  // namespace kg::capture
