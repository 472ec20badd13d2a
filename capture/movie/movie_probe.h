#pragma once
// Reads a finished movie back to measure it. Any thread.

#include <string>

namespace kg::capture {

// The movie's length in seconds, not rounded: the end of its last sample, read back through
// libavformat. Throws CaptureError when the file cannot be read or holds no timed sample.
[[nodiscard]] double movieDurationSeconds(const std::string& path);

}  // namespace kg::capture
