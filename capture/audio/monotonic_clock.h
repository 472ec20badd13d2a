#pragma once
// Now on CLOCK_MONOTONIC in nanoseconds: the clock the video frames are stamped with, and so
// the clock every sound time is expressed in. Any thread.

#include <time.h>

#include <cstdint>

namespace kg::capture::audio {

[[nodiscard]] inline std::int64_t monotonicNowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace kg::capture::audio
