#pragma once
// Mixing two sources into one track without clipping either.
//
// The sum is kept at unity gain, so a quiet source is never turned down by a loud one. Only
// where the sum nears full scale is it bent by a soft limiter: identity below the knee, then
// a smooth curve that approaches but never reaches ±1. So neither source clips and neither
// is silenced. Pure functions, any thread.

#include <span>

namespace kg::capture::audio {

inline constexpr float kLimiterKnee = 0.8f;

// Identity for |x| <= kLimiterKnee; strictly increasing; |result| < 1 for every finite x.
[[nodiscard]] float softLimit(float x);

// acc[i] = softLimit(acc[i] + other[i]) for the common length.
void mixInto(std::span<float> acc, std::span<const float> other);

}  // namespace kg::capture::audio
