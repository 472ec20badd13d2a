#include "cli/region_arg.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace kg {

std::optional<Rect> parseRegionArg(std::string_view text) {
    const nlohmann::json doc = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (doc.is_discarded() || !doc.is_object()) return std::nullopt;

    double values[4];
    const char* const keys[4] = {"x", "y", "width", "height"};
    for (int i = 0; i < 4; ++i) {
        const auto it = doc.find(keys[i]);
        if (it == doc.end() || !it->is_number()) return std::nullopt;
        values[i] = it->get<double>();
        if (!std::isfinite(values[i])) return std::nullopt;
    }
    return Rect{values[0], values[1], values[2], values[3]};
}

}  // namespace kg
