// Mixing the two sources of "both": neither clipped nor silenced; sources that lag are waited
// for, stalled ones padded.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "capture/audio/mixer.h"
#include "capture/audio/track_assembler.h"
#include "tests/audio/tone_analysis.h"

namespace kg::capture::audio {
namespace {

TEST(SoftLimit, IsTransparentBelowTheKneeAndNeverReachesFullScale) {
    const std::vector<std::pair<float, float>> exact = {{0.0f, 0.0f}, {0.5f, 0.5f}, {-0.8f, -0.8f}, {0.79f, 0.79f}};
    for (const auto& [in, out] : exact) EXPECT_EQ(softLimit(in), out) << in;
    for (const float loud : {0.81f, 1.0f, 1.6f, 2.0f, 10.0f, 1e30f}) {
        EXPECT_GT(softLimit(loud), kLimiterKnee) << loud;
        EXPECT_LT(softLimit(loud), 1.0f) << loud;
        EXPECT_EQ(softLimit(-loud), -softLimit(loud)) << loud;
    }
    EXPECT_EQ(softLimit(std::nanf("")), 0.0f);
    float previous = softLimit(-4.0f);
    for (float x = -4.0f; x <= 4.0f; x += 0.001f) {
        const float y = softLimit(x);
        ASSERT_GE(y, previous) << x;  // monotonic: no folding, no distortion flip
        previous = y;
    }
}

std::vector<float> sine(double frequencyHz, double amplitude, int frames) {
    std::vector<float> interleaved;
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequencyHz * i / 48000));
        interleaved.push_back(v);
        interleaved.push_back(v);
    }
    return interleaved;
}

std::vector<float> left(const std::vector<float>& interleaved) {
    std::vector<float> mono;
    for (std::size_t i = 0; i < interleaved.size(); i += 2) mono.push_back(interleaved[i]);
    return mono;
}

TEST(MixInto, KeepsBothSourcesAudibleAndUnclipped) {
    struct Case {
        double loud;
        double quiet;
    };
    for (const auto& c : {Case{0.3, 0.3}, Case{0.95, 0.05}, Case{0.9, 0.9}, Case{1.0, 1.0}}) {
        SCOPED_TRACE(testing::Message() << c.loud << " + " << c.quiet);
        auto mix = sine(440, c.loud, 48000);
        mixInto(mix, sine(1000, c.quiet, 48000));
        const auto mono = left(mix);
        for (float v : mono) ASSERT_LT(std::fabs(v), 1.0f);
        // Each tone keeps most of its level: the limiter bends only peaks.
        EXPECT_GT(kg::test::toneAmplitude(mono, 48000, 440), 0.6 * c.loud);
        EXPECT_GT(kg::test::toneAmplitude(mono, 48000, 1000), 0.6 * c.quiet);
    }
}

TEST(TrackAssembler, HandsOutOnlyWhatEverySourceHasReached) {
    TrackAssembler assembler(2, 10);
    std::vector<float> out;
    assembler.place(0, 0, std::vector<float>(200 * 2, 0.25f));
    EXPECT_EQ(assembler.drain(1000, out), 0u);  // the second source has nothing yet
    assembler.place(1, 0, std::vector<float>(150 * 2, 0.25f));
    EXPECT_EQ(assembler.drain(1000, out), 150u);
    EXPECT_FLOAT_EQ(out[0], 0.5f);
    EXPECT_FLOAT_EQ(out[299], 0.5f);
    // A stalled second source is padded with silence; the first is heard alone.
    assembler.padAllTo(200);
    EXPECT_EQ(assembler.drain(1000, out), 50u);
    EXPECT_FLOAT_EQ(out.back(), 0.25f);
    // The limit cuts what lies beyond the end of the movie.
    assembler.padAllTo(500);
    EXPECT_EQ(assembler.drain(320, out), 120u);
    EXPECT_EQ(assembler.drained(), 320);
}

}  // namespace
}  // namespace kg::capture::audio
