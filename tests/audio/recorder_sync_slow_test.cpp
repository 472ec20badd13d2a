// Picture and sound after a minute of recording: no drift. Slow: its own executable, label
// "slow".
#include "tests/audio/sound_scene.h"

namespace kg::test {
namespace {

TEST_F(SyncTest, SlowFlashAndToneStayInSyncAfterAMinute) {
    record("both", 62.0);
    const SyncMeasure m = measure(path_, secondAfter_);
    ASSERT_GE(m.secondFlashSeconds, 60);
    ASSERT_GE(m.secondToneSeconds, 60);
    EXPECT_NEAR(m.firstFlashSeconds, m.firstToneSeconds, 0.040);
    EXPECT_NEAR(m.secondFlashSeconds, m.secondToneSeconds, 0.040);
    RecordProperty("offset_after_a_minute_ms", std::to_string((m.secondFlashSeconds - m.secondToneSeconds) * 1000));
}

}  // namespace
}  // namespace kg::test
