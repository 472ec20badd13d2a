#include "capture/audio/mixer.h"

#include <algorithm>
#include <cmath>

namespace kg::capture::audio {

float softLimit(float x) {
    const float magnitude = std::fabs(x);
    if (!(magnitude > kLimiterKnee)) return std::isnan(x) ? 0.0f : x;
    constexpr float room = 1.0f - kLimiterKnee;
    // tanh keeps the slope 1 at the knee, so the curve has no corner there.
    const float bent = kLimiterKnee + room * std::tanh((magnitude - kLimiterKnee) / room);
    return std::copysign(std::min(bent, std::nextafter(1.0f, 0.0f)), x);
}

void mixInto(std::span<float> acc, std::span<const float> other) {
    const std::size_t count = std::min(acc.size(), other.size());
    for (std::size_t i = 0; i < count; ++i) acc[i] = softLimit(acc[i] + other[i]);
}

}  // namespace kg::capture::audio
