#pragma once
// Measuring known tones in decoded sound: how strong a frequency is over a span, and when it
// starts. Mono float samples.

#include <cstddef>
#include <optional>
#include <span>

namespace kg::test {

// Amplitude of the `frequencyHz` component over the samples (a full-scale sine gives ~1.0).
[[nodiscard]] double toneAmplitude(std::span<const float> mono, int sampleRate, double frequencyHz);

// The first time (seconds from the first sample) at which the tone's amplitude, measured over
// consecutive windows of `windowSeconds`, reaches `threshold`; the onset is then refined to the
// first sample of that window whose magnitude passes half the threshold.
[[nodiscard]] std::optional<double> toneOnsetSeconds(std::span<const float> mono, int sampleRate, double frequencyHz,
                                                     double threshold, double windowSeconds = 0.005);

}  // namespace kg::test
