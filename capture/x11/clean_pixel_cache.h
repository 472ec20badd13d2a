#pragma once
// For every pixel of the screen, the last value grabbed while none of our windows covered
// it: the source of what our windows cover in a frame. Taken from the screen as it was shown,
// it holds the wallpaper, other windows' translucency and a compositing manager's effects
// exactly as they looked. It is wrong only where something changed under our windows while
// they covered it, which nobody could have seen; changes the screen did show (DAMAGE outside
// our windows) make it forget those pixels, so they are rebuilt rather than shown stale.
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

    // Learns the pixels of `view` (showing `rect`) that are not known yet: a rebuild of what
    // was never seen.
    void learnUnknown(const BgrxView& view, const PixelRect& rect);

    // Replaces the pixels of `view` (showing `rect`) inside `covered` by the known ones.
    // Returns, per covered rectangle, the box of those still unknown (on screen only).
    std::vector<PixelRect> fill(const BgrxView& view, const PixelRect& rect, const std::vector<PixelRect>& covered) const;

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
