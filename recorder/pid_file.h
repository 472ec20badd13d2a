#pragma once
// Reading the PID file that the controlling program writes for `stop`.

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace kg {

// Largest PID file accepted; a real one holds a few digits.
inline constexpr std::size_t kMaxPidFileBytes = 4096;

// The process identifier in the text: optional white space (Unicode), an optional sign, one or
// more decimal digits within the signed 32-bit range, optional white space. Identifiers of 0 or
// below are refused, since kill() would take them as process groups or "every process".
[[nodiscard]] std::optional<pid_t> parsePidText(std::string_view text);

// Reads and parses the PID file at `path`. Refused (nullopt): a symbolic link, anything that is
// not a regular file (FIFO, device, directory), a file owned by another user, a file larger
// than kMaxPidFileBytes, text that is not valid UTF-8, and whatever parsePidText refuses.
// Never blocks on a FIFO.
[[nodiscard]] std::optional<pid_t> readPidFile(const std::string& path);

}  // namespace kg
