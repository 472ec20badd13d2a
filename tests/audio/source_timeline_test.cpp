// Stamping chunks and laying them on the movie's timeline: late arrivals smoothed, jitter kept,
// gaps filled, overlaps cut, no drift over a long recording.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "capture/audio/chunk_stamp.h"
#include "capture/audio/sample_clock.h"
#include "capture/audio/source_timeline.h"

namespace kg::capture::audio {
namespace {

// A chunk whose frame i carries the value base + i on both channels, so where each frame
// lands can be read back.
std::vector<float> ramp(int frames, float base) {
    std::vector<float> samples;
    for (int i = 0; i < frames; ++i) {
        samples.push_back(base + static_cast<float>(i));
        samples.push_back(base + static_cast<float>(i));
    }
    return samples;
}

std::vector<float> takeAll(SourceTimeline& timeline) {
    std::vector<float> left(timeline.available());
    std::vector<float> interleaved(timeline.available() * 2);
    timeline.take(timeline.available(), interleaved.data());
    for (std::size_t i = 0; i < left.size(); ++i) left[i] = interleaved[2 * i];
    return left;
}

struct Placement {
    std::int64_t startFrame;
    int frames;  // 0: padTo(startFrame), as when the track moves on without this source
    float base;
};

struct TimelineCase {
    const char* name;
    std::vector<Placement> chunks;
    std::int64_t expectedEnd;
    std::int64_t inserted;
    std::int64_t dropped;
    // Expected values at some positions (left channel).
    std::vector<std::pair<std::size_t, float>> probes;
};

TEST(SourceTimeline, PlacesChunksAndCorrectsOnlyBeyondTheTolerance) {
    const std::vector<TimelineCase> cases = {
        {"contiguous chunks are appended", {{0, 100, 0}, {100, 100, 1000}}, 200, 0, 0, {{99, 99}, {100, 1000}}},
        {"jitter within tolerance is kept as is", {{0, 100, 0}, {108, 100, 1000}}, 200, 0, 0, {{100, 1000}}},
        {"early jitter within tolerance is kept too", {{0, 100, 0}, {92, 100, 1000}}, 200, 0, 0, {{100, 1000}}},
        {"a gap is filled with silence", {{0, 100, 1}, {250, 100, 1000}}, 350, 150, 0,
         {{99, 100}, {100, 0}, {249, 0}, {250, 1000}}},
        {"one stamp a little late is not believed", {{0, 100, 0}, {125, 100, 1000}, {200, 100, 2000}}, 300, 0, 0,
         {{100, 1000}, {200, 2000}}},
        {"two stamps late the same way open a gap", {{0, 100, 0}, {125, 100, 1000}, {225, 100, 2000}}, 325, 25, 0,
         {{100, 1000}, {200, 0}, {225, 2000}}},
        {"a late first chunk starts after silence", {{30, 10, 1}}, 40, 30, 0, {{29, 0}, {30, 1}}},
        {"an overlap is cut from the chunk's start", {{0, 100, 0}, {50, 100, 1000}}, 150, 0, 50,
         {{99, 99}, {100, 1050}, {149, 1099}}},
        {"sound before the epoch is dropped", {{-30, 100, 0}}, 70, 0, 30, {{0, 30}}},
        {"a chunk wholly before the epoch leaves nothing", {{-200, 100, 0}}, 0, 0, 100, {}},
        {"a chunk wholly inside the filled span leaves nothing", {{0, 300, 0}, {100, 100, 1000}}, 300, 0, 100, {}},
        {"sound for a span already padded is cut", {{100, 0, 0}, {0, 150, 1}}, 150, 100, 100, {{99, 0}, {100, 101}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SourceTimeline timeline(10);
        for (const auto& chunk : c.chunks) {
            if (chunk.frames == 0) timeline.padTo(chunk.startFrame);
            else timeline.place(chunk.startFrame, ramp(chunk.frames, chunk.base));
        }
        EXPECT_EQ(timeline.end(), c.expectedEnd);
        EXPECT_EQ(timeline.insertedFrames(), c.inserted);
        EXPECT_EQ(timeline.droppedFrames(), c.dropped);
        const auto left = takeAll(timeline);
        ASSERT_EQ(static_cast<std::int64_t>(left.size()), c.expectedEnd);
        for (const auto& [index, value] : c.probes) EXPECT_EQ(left.at(index), value) << "at frame " << index;
    }
}

// A device whose clock runs fast or slow against the monotonic clock, with jittery stamps, for
// a minute: every frame stays within the tolerance (plus the stamp jitter) of its true time.
TEST(SourceTimeline, DriftingDeviceClockStaysInSyncOverAMinute) {
    constexpr std::int64_t tolerance = 480;
    constexpr int chunkFrames = 480;
    for (const double drift : {-0.002, -0.0002, 0.0, 0.0002, 0.002}) {
        SCOPED_TRACE(drift);
        SourceTimeline timeline(tolerance);
        std::mt19937 random(42);
        std::uniform_real_distribution<double> jitterNs(-2e6, 2e6);
        std::int64_t worst = 0;
        const int chunks = 60 * kSampleRate / chunkFrames;
        for (int k = 0; k < chunks; ++k) {
            // The device's frame k*chunkFrames is truly heard at this monotonic time.
            const double trueNs = static_cast<double>(k) * chunkFrames * 1e9 / kSampleRate * (1.0 + drift);
            const auto stamped = framesFromNs(static_cast<std::int64_t>(trueNs + jitterNs(random)));
            timeline.place(stamped, std::vector<float>(chunkFrames * 2, 0.1f));
            // Where the chunk's last frame landed against where it belongs.
            const std::int64_t truth = framesFromNs(static_cast<std::int64_t>(trueNs)) + chunkFrames;
            worst = std::max(worst, std::abs(timeline.end() - truth));
            std::vector<float> sink(timeline.available() * 2);
            timeline.take(timeline.available(), sink.data());
        }
        EXPECT_LE(worst, tolerance + framesFromNs(2'000'000) + 1);
        // The corrections are what the drift demands, not a churn on every chunk.
        const double driftFrames = std::fabs(drift) * 60 * kSampleRate;
        EXPECT_LE(timeline.insertedFrames() + timeline.droppedFrames(), driftFrames + 2 * tolerance);
    }
}

// Chunks of 10 ms whose measured stamps arrive late by up to 30 ms (one in five on time), from
// a source whose clock runs 0.1 % slow, which drops 300 ms once and leaves one hole: every
// stamp stays within 1.5 ms of the truth but the few right after the drop, until one of them
// arrives on time.
TEST(StampSmoother, KeepsTheSourcesContinuityAgainstLateArrivals) {
    StampSmoother smoother;
    std::mt19937 random(7);
    std::uniform_int_distribution<std::int64_t> lateNs(0, 30'000'000);
    double truthNs = 0;
    int offTheTruth = 0;
    for (int k = 0; k < 6000; ++k) {
        if (k == 3000) truthNs += 300e6;  // frames the server dropped
        if (k == 4000) {                  // a hole the stream reports
            smoother.skip(480);
            truthNs += 10e6 * 1.001;
        }
        const std::int64_t measured = static_cast<std::int64_t>(truthNs) + (k % 5 ? lateNs(random) : 0);
        const std::int64_t stamp = smoother.stamp(measured, 480);
        if (std::abs(stamp - static_cast<std::int64_t>(truthNs)) > 1'500'000) ++offTheTruth;
        truthNs += 10e6 * 1.001;
    }
    EXPECT_LE(offTheTruth, 5);
}

}  // namespace
}  // namespace kg::capture::audio
