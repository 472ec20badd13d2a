#pragma once
// The sound format of every track, and conversions between CLOCK_MONOTONIC nanoseconds and
// frame positions on the movie's timeline. A frame is one sample per channel; frame 0 is the
// movie's epoch. Pure arithmetic, any thread.

#include <cstdint>

namespace kg::capture::audio {

inline constexpr int kSampleRate = 48000;
inline constexpr int kChannels = 2;
inline constexpr std::int64_t kNsPerSecond = 1'000'000'000;

// The frame that sounds at `timeNs`, counted from the epoch; negative before it. Rounds to
// the nearest frame. Exact for any span a recording can have (no 64-bit overflow).
[[nodiscard]] constexpr std::int64_t framesFromNs(std::int64_t spanNs) {
    const std::int64_t seconds = spanNs / kNsPerSecond;
    std::int64_t rest = spanNs % kNsPerSecond;  // same sign as spanNs
    std::int64_t frames = seconds * kSampleRate;
    const std::int64_t scaled = rest * kSampleRate;  // |rest| < 1e9, fits easily
    frames += (scaled >= 0 ? scaled + kNsPerSecond / 2 : scaled - kNsPerSecond / 2) / kNsPerSecond;
    return frames;
}

[[nodiscard]] constexpr std::int64_t nsFromFrames(std::int64_t frames) {
    return frames / kSampleRate * kNsPerSecond + frames % kSampleRate * kNsPerSecond / kSampleRate;
}

}  // namespace kg::capture::audio
