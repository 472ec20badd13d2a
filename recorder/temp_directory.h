#pragma once
#include <string>

namespace kg {

// The temporary directory (TMPDIR, else /tmp) ending with exactly one "/", so that file names
// are appended by plain concatenation. Both the PID file and the default movie live here.
[[nodiscard]] std::string temporaryDirectory();

inline constexpr const char* kPidFileName = "kestrelgrain-recording.pid";
inline constexpr const char* kDefaultMovieName = "kestrelgrain-recording.mp4";

}  // namespace kg
