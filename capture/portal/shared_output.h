#pragma once
// Pure geometry of a portal recording: which compositor output the portal's stream shows, and
// which stream pixels a region covers.
//
// A portal shares one whole output. It may report the output's place in the layout (some
// always report 0, 0, which then tells nothing) and its size (logical, or in pixels for some);
// the stream's own size is in pixels: a monitor at scale 2 delivers twice its logical size.

#include <optional>
#include <string>
#include <vector>

#include "capture/capture_geometry.h"
#include "capture/portal/cast_stream.h"
#include "capture/portal/wayland_outputs.h"

namespace kg::capture {

// Whether `stream` can be `output`: a known output name must be its name; a reported position
// other than 0, 0 must be its place; a reported size must be its logical or its pixel size.
// Two monitors of one size, both reported at 0, 0 and not named, cannot be told apart.
[[nodiscard]] bool streamCouldShow(const CastStream& stream, const WaylandOutput& output);

// The output that holds most of `layoutRect`, or nullptr when it lies on none.
[[nodiscard]] const WaylandOutput* outputUnder(const PixelRect& layoutRect, const std::vector<WaylandOutput>& outputs);

// The stream pixels showing `layoutRect` (layout coordinates) of `output`, whose stream is
// streamWidth x streamHeight pixels.
[[nodiscard]] PixelRect streamPixels(const PixelRect& layoutRect, const WaylandOutput& output,
                                     std::int64_t streamWidth, std::int64_t streamHeight);

}  // namespace kg::capture
