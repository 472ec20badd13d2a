#pragma once
// The --region argument: a JSON object with numeric "x", "y", "width", "height", in region
// coordinates (points; x as in the global screen space, y measured downward from the top of
// the main screen). Values are carried over exactly as parsed; nothing is converted, clipped
// or normalised here.

#include <optional>
#include <string_view>

#include "platform/geometry.h"

namespace kg {

// The rectangle, or nullopt for anything else: text that is not strict JSON, a top level that
// is not an object, a member that is missing or not a number (true and false are not numbers),
// or a number that does not fit a finite double.
[[nodiscard]] std::optional<Rect> parseRegionArg(std::string_view text);

}  // namespace kg
