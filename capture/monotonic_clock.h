#pragma once
#include <time.h>

#include <cstdint>

namespace kg::capture {

// Now on CLOCK_MONOTONIC in nanoseconds: the one clock every timestamp of a recording uses
// (video frames, sound, start and end of the movie).
[[nodiscard]] inline std::int64_t monotonicNowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace kg::capture
