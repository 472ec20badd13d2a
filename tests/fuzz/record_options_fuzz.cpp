// Any argument list after `record` (the input split at NUL bytes): the options are read, the
// longest duration stays within what the stop timer takes, and a region is finite.
#include <cmath>
#include <cstdlib>

#include "recorder/record_options.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i)
        if (data[i] == 0) args.emplace_back();
        else args.back().push_back(static_cast<char>(data[i]));
    const kg::RecordSettings s = kg::parseRecordOptions(args);
    if (s.maxSeconds < 0 || s.maxSeconds > kg::kLongestMaxSeconds) std::abort();
    const kg::Rect r = s.region.value_or(kg::Rect{});
    for (const double v : {r.x, r.y, r.width, r.height})
        if (!std::isfinite(v)) std::abort();
    return 0;
}
