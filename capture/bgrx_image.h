#pragma once
// A view of 32-bit pixels in memory order B, G, R, X (the X server's little-endian 24/32-bit
// layout). The view does not own its memory; its producer states how long it stays valid.

#include <cstddef>
#include <cstdint>

namespace kg::capture {

struct BgrxView {
    std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;  // bytes from one row to the next

    [[nodiscard]] std::uint8_t* pixel(int x, int y) const { return data + y * stride + x * 4; }
};

}  // namespace kg::capture
