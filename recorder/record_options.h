#pragma once
// The options of `record`, read from the arguments that follow the command word.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"

namespace kg {

inline constexpr std::int64_t kDefaultMaxSeconds = 30;
// The largest whole number of seconds whose nanoseconds fit an unsigned 64-bit integer.
inline constexpr std::int64_t kLongestMaxSeconds = 18446744073;

struct RecordSettings {
    std::optional<Rect> region;  // region coordinates; none records the whole first display
    std::string audioMode = "system";
    std::string outputPath;      // default: temporary directory + "kestrelgrain-recording.mp4"
    std::int64_t maxSeconds = kDefaultMaxSeconds;
};

// Reads "--region", "--audio", "--output" and "--max-seconds" (exact, case-sensitive); each
// takes the next argument whatever it looks like; unknown arguments are skipped; later
// occurrences win. --max-seconds: a decimal integer with optional sign; anything else, and a
// negative value, gives 30; values above kLongestMaxSeconds are clamped to it. The region
// text is parsed once, after the loop; an unusable one means no region.
[[nodiscard]] RecordSettings parseRecordOptions(const std::vector<std::string>& args);

// The --max-seconds reading on its own.
[[nodiscard]] std::int64_t parseMaxSeconds(const std::string& text);

}  // namespace kg
