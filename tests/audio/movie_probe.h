#pragma once
// Decoding the sound of a recorded movie the way a player does (libavformat + libavcodec). The
// pictures are read with tests/capture/movie_reader.h.

#include <optional>
#include <string>
#include <vector>

namespace kg::test {

struct DecodedSound {
    std::string codec;        // "aac"
    int sampleRate = 0;
    int channels = 0;
    double startSeconds = 0;  // presentation time of the first decoded sample
    std::vector<float> mono;  // the channels averaged, from startSeconds on
    [[nodiscard]] double durationSeconds() const { return sampleRate ? static_cast<double>(mono.size()) / sampleRate : 0; }
};

// The first sound track, decoded; nullopt when there is none.
[[nodiscard]] std::optional<DecodedSound> decodeSound(const std::string& path);

}  // namespace kg::test
