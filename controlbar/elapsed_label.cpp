#include "controlbar/elapsed_label.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace kg::controlbar {

std::string elapsedLabelText(double elapsed_seconds) {
    // NaN and negative times show zero; the upper bound keeps the conversion defined.
    if (!(elapsed_seconds > 0)) {
        elapsed_seconds = 0;
    }
    const auto t = static_cast<std::int64_t>(std::trunc(std::min(elapsed_seconds, 1e15)));
    const std::int64_t minutes = t / 60;
    const std::int64_t seconds = t - minutes * 60;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(minutes),
                  static_cast<long long>(seconds));
    return text;
}

}  // namespace kg::controlbar
