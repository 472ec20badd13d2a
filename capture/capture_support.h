#pragma once
#include <optional>
#include <string>

namespace kg::capture {

// Whether the screen can be recorded here: nullopt when the X server at DISPLAY offers what
// capture needs (slower paths stand in for MIT-SHM, DAMAGE and RandR when they are missing),
// else a message naming what is missing. Blocking (talks to the X server); any thread.
[[nodiscard]] std::optional<std::string> captureUnavailableReason();

}  // namespace kg::capture
