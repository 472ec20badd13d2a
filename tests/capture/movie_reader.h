#pragma once
// Decodes a recorded movie in the test, the way a player would (libavformat + libavcodec), to
// check its size, timing, pixels and sound.

#include <cstdint>
#include <functional>
#include <optional>
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

struct DecodedSound {
    std::string codec;        // "aac"
    int sampleRate = 0;
    int channels = 0;
    double startSeconds = 0;  // presentation time of the first decoded sample
    std::vector<float> mono;  // the channels averaged, from startSeconds on
    [[nodiscard]] double durationSeconds() const { return sampleRate ? static_cast<double>(mono.size()) / sampleRate : 0; }
};

struct MovieSummary {
    bool readable = false;
    int videoStreams = 0;
    std::string codec;
    int width = 0;   // as the decoder reports it
    int height = 0;
    double durationSeconds = 0;
    std::vector<double> frameTimes;
    std::optional<DecodedSound> sound;  // the first sound track, if any
};

// Every decoded video frame goes to `onFrame` (may be empty). Decoding errors past the first
// frame end the reading quietly, as a player would stop.
MovieSummary readMovie(const std::string& path, const std::function<void(const DecodedFrame&)>& onFrame = {});
// The same, keeping every frame.
std::vector<DecodedFrame> decodeFrames(const std::string& path, MovieSummary* summary = nullptr);

// True when `actual` is within `tolerance` of 0xRRGGBB on each channel.
[[nodiscard]] bool near(Rgb actual, std::uint32_t rgb, int tolerance = 24);

}  // namespace kg::test
