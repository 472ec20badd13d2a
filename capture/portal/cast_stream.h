#pragma once
#include <cstdint>
#include <string>

namespace kg::capture {

// One PipeWire stream of a screen-cast session, as the portal describes it. Position and size
// are in the compositor's logical layout; a portal may leave them out (or, as some do, always
// report position 0, 0).
struct CastStream {
    std::uint32_t nodeId = 0;
    bool hasPosition = false;
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool hasSize = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    // The output's name, when the portal's stored permission names it (empty otherwise).
    std::string outputName;
};

}  // namespace kg::capture
