// The pure geometry and timing arithmetic of a capture, the cursor blend, the conversion of parts.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "capture/capture_error.h"
#include "capture/capture_geometry.h"
#include "capture/encoding/frame_converter.h"
#include "capture/encoding/video_encoder.h"
#include "capture/x11/cursor_image.h"

namespace kg::capture {
namespace {

// (Region sizes truncated and rounded up to even are the recorder's content test, decoded.)
TEST(FrameGeometry, OddSizesAreRoundedUpToEvenAndRegionsUnderOnePointNonFiniteOrHugeAreRefusedSayingWhy) {
    EXPECT_EQ(frameGeometryFor(std::nullopt, 1365, 767), (FrameGeometry{1365, 767, 1366, 768}));
    EXPECT_NO_THROW(checkRegion({0, 0, 1, 1}));
    EXPECT_EQ(frameGeometryFor(Rect{0, 0, 1, 1}, 1280, 800), (FrameGeometry{1, 1, 2, 2}));
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const std::pair<Rect, const char*> refused[] = {
        {{0, 0, 0.5, 100}, "smaller than 1 x 1 point"}, {{0, 0, 100, 0}, "smaller than 1 x 1 point"},
        {{0, 0, -0.9, 100}, "smaller than 1 x 1 point"}, {{nan, 0, 100, 100}, "not finite"},
        {{0, 0, inf, 100}, "not finite"}, {{0, 0, 100, -inf}, "not finite"}, {{0, 0, 20000, 100}, "larger than 16384"},
    };
    for (const auto& [region, words] : refused) {
        try {
            checkRegion(region);
            ADD_FAILURE() << "accepted " << region.width << " x " << region.height;
        } catch (const CaptureError& e) {
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
    }
}

TEST(SourcePixels, GrabsTheFrameSizeAtTheRegionOrAnotherSizeToScaleNeverClipped) {
    const FrameGeometry g = frameGeometryFor(Rect{0, 0, 641, 361}, 0, 0);
    struct Case { Rect region; std::int64_t displayX, displayY; PixelRect expected; };
    const Case cases[] = {
        {{10.5, 20.25, 641, 361}, 0, 0, {10, 20, 642, 362}},     // the extra column and row come from the screen
        {{0, 0, 641, 361}, 1920, 100, {1920, 100, 642, 362}},    // offset by the display's origin
        {{100, 50, 1282, 722}, 0, 0, {100, 50, 1282, 722}},      // a moved region of another size
        {{700, 400, -641, -361}, 0, 0, {59, 39, 642, 362}},      // negative widths span from x + width
        {{-50, -30, 641, 361}, 0, 0, {-50, -30, 642, 362}},      // off the screen stays off
    };
    for (const auto& c : cases) EXPECT_EQ(sourcePixels(c.region, g, c.displayX, c.displayY), c.expected);
    EXPECT_EQ(PixelRect({0, 0, 10, 10}).intersected({5, 5, 10, 10}), (PixelRect{5, 5, 5, 5}));
    EXPECT_TRUE(PixelRect({0, 0, 10, 10}).intersected({10, 0, 5, 5}).empty()) << "touching is not overlapping";
}

TEST(CursorBlend, PremultipliedPixelsAreBlendedAtTheHotSpotAndClippedAtTheEdges) {
    std::vector<std::uint8_t> pixels(4 * 4 * 4, 0);
    for (std::size_t i = 0; i < pixels.size(); i += 4) pixels[i + 2] = 200;  // red background (B, G, R, X)
    BgrxView frame{pixels.data(), 4, 4, 16};
    CursorImage cursor;
    cursor.width = cursor.height = 2;
    cursor.hotX = cursor.hotY = 1;
    // Opaque white, transparent, half-transparent black (premultiplied: colour 0), opaque blue.
    cursor.argb = {0xffffffff, 0x00000000, 0x80000000, 0xff0000ff};
    blendCursor(frame, cursor, 0, 0);  // hot spot at (0, 0): only the bottom-right pixel lands
    EXPECT_EQ(frame.pixel(0, 0)[0], 255);
    EXPECT_EQ(frame.pixel(0, 0)[2], 0);
    blendCursor(frame, cursor, 3, 3);  // top-left of the cursor at (2, 2)
    EXPECT_EQ(std::vector<int>(frame.pixel(2, 2), frame.pixel(2, 2) + 3), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(frame.pixel(3, 2)[2], 200) << "transparent leaves the frame alone";
    EXPECT_NEAR(frame.pixel(2, 3)[2], 100, 1) << "half black over red halves it";
    EXPECT_EQ(frame.pixel(1, 1)[2], 200);
}

TEST(VideoEncoder, NanosecondSpansBecomeTicksWithoutOverflowForThirtyHours) {
    constexpr std::int64_t thirtyHours = 30LL * 3600;  // nanoseconds times ticks would overflow
    EXPECT_EQ(VideoEncoder::ticksFromNs(thirtyHours * 1'000'000'000 + 500'000'000), thirtyHours * 90000 + 45000);
}

// Part by part into pool frames, some held as the encoder holds them, equals converting it whole.
TEST(FrameConverter, ConvertingOnlyTheChangedPartsGivesTheFramesAWholeConversionGives) {
    std::vector<std::uint32_t> pixels(64 * 32);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint32_t>(i * 2654435761u);
    const BgrxView picture{reinterpret_cast<std::uint8_t*>(pixels.data()), 64, 32, 64 * 4};
    FrameConverter converter(64, 32);
    std::vector<AvFramePtr> held;
    for (int step = 0; step < 8; ++step) {
        const std::vector<PixelRect> dirty{{step * 7 + 1, step * 3 + 1, 5, 3}, {60, 0, 4, 32}};
        for (const PixelRect& r : dirty)
            for (std::int64_t y = r.y; y < r.bottom(); ++y)
                for (std::int64_t x = r.x; x < r.right(); ++x) pixels[static_cast<std::size_t>(y * 64 + x)] += 0x102030u * (step + 1);
        AvFramePtr frame = converter.convert(picture, step == 0 ? nullptr : &dirty);
        const AvFramePtr whole = FrameConverter(64, 32).convert(picture, nullptr);
        for (int plane = 0; plane < 3; ++plane)
            for (int row = 0; row < (plane ? 16 : 32); ++row)
                ASSERT_EQ(std::memcmp(frame->data[plane] + row * frame->linesize[plane], whole->data[plane] + row * whole->linesize[plane],
                                      plane ? 32 : 64), 0) << "step " << step << " plane " << plane << " row " << row;
        if (step % 3 != 2) held.push_back(std::move(frame));  // the encoder's queue: at most three
        if (held.size() > 3) held.erase(held.begin());
    }
}

}  // namespace
}  // namespace kg::capture
