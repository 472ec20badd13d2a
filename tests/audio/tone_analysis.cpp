#include "tests/audio/tone_analysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kg::test {

double toneAmplitude(std::span<const float> mono, int sampleRate, double frequencyHz) {
    if (mono.size() < 2) return 0.0;
    double re = 0.0;
    double im = 0.0;
    double weights = 0.0;
    const double step = 2.0 * std::numbers::pi * frequencyHz / sampleRate;
    const double last = static_cast<double>(mono.size() - 1);
    for (std::size_t i = 0; i < mono.size(); ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / last);
        re += w * mono[i] * std::cos(step * static_cast<double>(i));
        im += w * mono[i] * std::sin(step * static_cast<double>(i));
        weights += w;
    }
    return 2.0 * std::hypot(re, im) / weights;
}

double meanToneAmplitude(std::span<const float> mono, int sampleRate, double frequencyHz, double blockSeconds) {
    const auto block = static_cast<std::size_t>(blockSeconds * sampleRate);
    double sum = 0.0;
    int count = 0;
    for (std::size_t start = 0; block > 0 && start + block <= mono.size(); start += block, ++count) {
        sum += toneAmplitude(mono.subspan(start, block), sampleRate, frequencyHz);
    }
    return count ? sum / count : 0.0;
}

std::optional<double> toneOnsetSeconds(std::span<const float> mono, int sampleRate, double frequencyHz, double threshold,
                                       double windowSeconds) {
    const auto window = static_cast<std::size_t>(windowSeconds * sampleRate);
    if (window == 0) return std::nullopt;
    for (std::size_t start = 0; start + window <= mono.size(); start += window) {
        if (toneAmplitude(mono.subspan(start, window), sampleRate, frequencyHz) < threshold) continue;
        // Refine against the tone's settled level: the first sample at half of it. An AAC
        // encoder smears a little sound ahead of a sharp onset (pre-echo), well below that.
        const std::size_t settledFrom = std::min(mono.size(), start + 2 * window);
        const std::size_t settledLength = std::min(mono.size() - settledFrom, static_cast<std::size_t>(sampleRate / 20));
        const double settled = std::max(threshold, meanToneAmplitude(mono.subspan(settledFrom, settledLength), sampleRate,
                                                                     frequencyHz, 0.01));
        const std::size_t from = start >= window ? start - window : 0;
        for (std::size_t i = from; i < start + window; ++i) {
            if (std::fabs(mono[i]) >= settled / 2) return static_cast<double>(i) / sampleRate;
        }
        return static_cast<double>(start) / sampleRate;
    }
    return std::nullopt;
}

}  // namespace kg::test
