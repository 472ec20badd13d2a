#pragma once
// Decodes a recorded movie in the test, the way a player would, to check its size, timing and
// pixels.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kg::test {

struct Rgb {
    int r = 0, g = 0, b = 0;
};

struct DecodedFrame {
    double seconds = 0;  // presentation time
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // RGB24, row by row

    [[nodiscard]] Rgb at(int x, int y) const;
};

struct MovieSummary {
    bool readable = false;
    int videoStreams = 0;
    std::string codec;
    int width = 0;   // as the decoder reports it
    int height = 0;
    double durationSeconds = 0;
    std::vector<double> frameTimes;
};

// Every decoded video frame goes to `onFrame` (may be empty). Decoding errors past the first
// frame end the reading quietly, as a player would stop.
MovieSummary readMovie(const std::string& path, const std::function<void(const DecodedFrame&)>& onFrame = {});

// True when `actual` is within `tolerance` of 0xRRGGBB on each channel.
[[nodiscard]] bool near(Rgb actual, std::uint32_t rgb, int tolerance = 24);

}  // namespace kg::test
