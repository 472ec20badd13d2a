#include "capture/x11/clean_pixel_cache.h"

#include <algorithm>
#include <cstring>

namespace kg::capture {

CleanPixelCache::CleanPixelCache(std::int64_t screenWidth, std::int64_t screenHeight)
    : screen_{0, 0, screenWidth, screenHeight},
      pixels_(static_cast<std::size_t>(screenWidth * screenHeight)),
      known_(static_cast<std::size_t>(screenWidth * screenHeight)) {}

template <typename F>
void CleanPixelCache::forRows(const PixelRect& r, F&& f) const {
    const PixelRect clipped = r.intersected(screen_);
    if (clipped.empty()) return;
    for (std::int64_t y = clipped.y; y < clipped.bottom(); ++y) f(clipped.x, y, clipped.width);
}

// Covered pixels keep what was learnt before: they are saved, the whole rectangle is
// overwritten (row copies), and they are put back.
std::vector<std::uint32_t> CleanPixelCache::saveCovered(const PixelRect& rect, const std::vector<PixelRect>& covered,
                                                        bool pixels) const {
    std::vector<std::uint32_t> saved;
    for (const PixelRect& c : covered) {
        forRows(c.intersected(rect), [&](std::int64_t x, std::int64_t y, std::int64_t n) {
            const std::size_t at = static_cast<std::size_t>(y * screen_.width + x);
            if (pixels)
                saved.insert(saved.end(), pixels_.begin() + at, pixels_.begin() + at + n);
            else
                saved.insert(saved.end(), known_.begin() + at, known_.begin() + at + n);
        });
    }
    return saved;
}

void CleanPixelCache::restoreCovered(const PixelRect& rect, const std::vector<PixelRect>& covered,
                                     const std::vector<std::uint32_t>& saved, bool pixels) {
    auto next = saved.begin();
    for (const PixelRect& c : covered) {
        forRows(c.intersected(rect), [&](std::int64_t x, std::int64_t y, std::int64_t n) {
            const std::size_t at = static_cast<std::size_t>(y * screen_.width + x);
            if (pixels)
                std::copy(next, next + n, pixels_.begin() + at);
            else
                std::transform(next, next + n, known_.begin() + at, [](std::uint32_t v) { return static_cast<std::uint8_t>(v); });
            next += n;
        });
    }
}

void CleanPixelCache::learn(const BgrxView& view, const PixelRect& rect, const std::vector<PixelRect>& covered) {
    const auto savedPixels = saveCovered(rect, covered, true);
    const auto savedKnown = saveCovered(rect, covered, false);
    forRows(rect, [&](std::int64_t x, std::int64_t y, std::int64_t n) {
        const std::size_t at = static_cast<std::size_t>(y * screen_.width + x);
        std::memcpy(pixels_.data() + at, view.pixel(static_cast<int>(x - rect.x), static_cast<int>(y - rect.y)),
                    static_cast<std::size_t>(n) * 4);
        std::memset(known_.data() + at, 1, static_cast<std::size_t>(n));
    });
    restoreCovered(rect, covered, savedPixels, true);
    restoreCovered(rect, covered, savedKnown, false);
}

void CleanPixelCache::forget(const PixelRect& rect, const std::vector<PixelRect>& covered) {
    const auto savedKnown = saveCovered(rect, covered, false);
    forRows(rect, [&](std::int64_t x, std::int64_t y, std::int64_t n) {
        std::memset(known_.data() + y * screen_.width + x, 0, static_cast<std::size_t>(n));
    });
    restoreCovered(rect, covered, savedKnown, false);
}

bool CleanPixelCache::at(std::int64_t x, std::int64_t y, std::uint32_t* pixel) const {
    if (x < 0 || y < 0 || x >= screen_.width || y >= screen_.height) return false;
    const std::size_t index = static_cast<std::size_t>(y * screen_.width + x);
    if (!known_[index]) return false;
    *pixel = pixels_[index];
    return true;
}

}  // namespace kg::capture
