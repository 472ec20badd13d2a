#pragma once
// What a region must satisfy before anything is shown or captured for it, so that a region
// no screen and no encoder can take is refused at once, before a window of its size exists.
//
// Region coordinates (points, one point is one X pixel). Sizes are taken as magnitudes, as the
// capture engine takes them.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/geometry.h"

namespace kg {

// The movie's frame: H.264 level 6.2 allows 139264 macroblocks of 16 x 16 pixels per frame
// (8192 x 4352), the highest level decoders are built for; one side stays within what the
// capture engine sets up (16384).
inline constexpr std::int64_t kMaxFrameMacroblocks = 139264;
inline constexpr std::int64_t kMaxFrameSide = 16384;
// Every edge of the region, and with it the frame and bar drawn around it, must be a place on
// the X server, whose window coordinates are signed 16-bit; the margin leaves the windows
// around the region room inside that range.
inline constexpr double kMaxCoordinate = 32767 - 256;

// Why the region cannot be recorded (a text for the error object), or nullopt when it can.
[[nodiscard]] std::optional<std::string> regionProblem(const Rect& region);

}  // namespace kg
