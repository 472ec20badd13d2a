#pragma once
// One picture of a whole output taken straight from a wlroots compositor (wlr-screencopy), the
// cursor drawn in. The screen-cast backend of these compositors sends stream frames only when
// the screen changes, so a still screen never gives a stream's first frame; this stands in
// until it comes.
//
// Threads: any; blocks while it talks to the compositor (bounded by a time-out).

#include <cstdint>
#include <optional>
#include <vector>

namespace kg::capture {

struct OutputSnapshot {
    std::int64_t width = 0;   // output pixels, as the stream's
    std::int64_t height = 0;
    std::vector<std::uint8_t> bgrx;  // rows of width * 4 bytes, top row first
};

// The output whose wl_output global is `globalName`; nullopt when the compositor offers no
// screen copy, refuses it, or does not answer in time.
[[nodiscard]] std::optional<OutputSnapshot> snapshotOutput(std::uint32_t globalName);

}  // namespace kg::capture
