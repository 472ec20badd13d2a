#pragma once
// For every pixel of the screen, the last value grabbed while none of our windows covered
// it. Where no window lies below ours, this is what the screen shows there without them: the
// wallpaper as drawn (by the server or by a compositing manager) with the shadows and other
// effects that fall on it. Changes the screen showed outside our windows (DAMAGE) make it
// forget those pixels rather than keep them stale.
//
// Pure memory, no X calls. Rectangles are root coordinates; `covered` lists may overlap.
//
// Threads: one thread at a time.

#include <cstdint>
#include <vector>

#include "capture/bgrx_image.h"
#include "capture/capture_geometry.h"

namespace kg::capture {

class CleanPixelCache {
public:
    CleanPixelCache(std::int64_t screenWidth, std::int64_t screenHeight);

    // Learns the pixels of `view` (which shows `rect`) outside `covered`.
    void learn(const BgrxView& view, const PixelRect& rect, const std::vector<PixelRect>& covered);

    // Forgets the pixels of `rect` outside `covered`: the screen showed a change there.
    void forget(const PixelRect& rect, const std::vector<PixelRect>& covered);

    // The pixel last seen at (x, y), root coordinates; false when none is known.
    bool at(std::int64_t x, std::int64_t y, std::uint32_t* pixel) const;

private:
    // Calls f(screenX, screenY, length) for each row of `r` clipped to the screen.
    template <typename F>
    void forRows(const PixelRect& r, F&& f) const;
    std::vector<std::uint32_t> saveCovered(const PixelRect& rect, const std::vector<PixelRect>& covered, bool pixels) const;
    void restoreCovered(const PixelRect& rect, const std::vector<PixelRect>& covered, const std::vector<std::uint32_t>& saved,
                        bool pixels);

    PixelRect screen_;
    std::vector<std::uint32_t> pixels_;
    std::vector<std::uint8_t> known_;
};

}  // namespace kg::capture
