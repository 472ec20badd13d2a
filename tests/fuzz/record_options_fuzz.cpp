// Any argument list after `record` (the input split at NUL bytes): the options are read
// without failing, the longest duration stays within what the stop timer takes, and a region
// is finite.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "recorder/record_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) args.emplace_back();
        else args.back().push_back(static_cast<char>(data[i]));
    }
    const kg::RecordSettings settings = kg::parseRecordOptions(args);
    if (settings.maxSeconds < 0 || settings.maxSeconds > kg::kLongestMaxSeconds) std::abort();
    if (const auto& r = settings.region;
        r && !(std::isfinite(r->x) && std::isfinite(r->y) && std::isfinite(r->width) && std::isfinite(r->height)))
        std::abort();
    return 0;
}
