#include "recorder/record_options.h"

#include <charconv>

#include "cli/region_arg.h"
#include "recorder/temp_directory.h"

namespace kg {

std::int64_t parseMaxSeconds(const std::string& text) {
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    if (digits.empty() || digits.front() == '+') return kDefaultMaxSeconds;
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc{} || end != digits.data() + digits.size()) return kDefaultMaxSeconds;
    if (value < 0) return kDefaultMaxSeconds;
    return std::min(value, kLongestMaxSeconds);
}

RecordSettings parseRecordOptions(const std::vector<std::string>& args) {
    RecordSettings settings;
    settings.outputPath = temporaryDirectory() + kDefaultMovieName;
    std::optional<std::string> regionText;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool known = arg == "--region" || arg == "--audio" || arg == "--output" || arg == "--max-seconds";
        if (!known) continue;
        ++i;
        if (i >= args.size()) break;  // option without a value: ignored
        const std::string& value = args[i];
        if (arg == "--region") {
            regionText = value;
        } else if (arg == "--audio") {
            settings.audioMode = value;
        } else if (arg == "--output") {
            settings.outputPath = value;
        } else {
            settings.maxSeconds = parseMaxSeconds(value);
        }
    }
    if (regionText) settings.region = parseRegionArg(*regionText);
    return settings;
}

}  // namespace kg
