#pragma once
// Measuring known tones in decoded sound: how strong a frequency is over a span, and when it
// starts. Mono float samples.

#include <optional>
#include <span>

namespace kg::test {

// Amplitude of the `frequencyHz` component over the samples (a full-scale sine gives ~1.0),
// through a Hann window so that other tones leak little into it.
[[nodiscard]] double toneAmplitude(std::span<const float> mono, int sampleRate, double frequencyHz);

// The same, measured in blocks of `blockSeconds` and averaged: a jump of phase (a few frames
// inserted or cut) lowers one block instead of cancelling the whole span.
[[nodiscard]] double meanToneAmplitude(std::span<const float> mono, int sampleRate, double frequencyHz,
                                       double blockSeconds = 0.05);

// The first time (seconds from the first sample) at which the tone's amplitude, measured over
// consecutive windows of `windowSeconds`, reaches `threshold`; the onset is then refined to the
// first sample, from the window before on, whose magnitude reaches half the tone's settled
// amplitude.
[[nodiscard]] std::optional<double> toneOnsetSeconds(std::span<const float> mono, int sampleRate, double frequencyHz,
                                                     double threshold, double windowSeconds = 0.005);

}  // namespace kg::test
