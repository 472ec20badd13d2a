// Picture and sound after a minute of recording: no drift, on either server. Slow: its own
// executable, label "slow".
#include "tests/audio/sound_scene.h"

namespace kg::test {
namespace {

TEST_P(SyncTest, SlowFlashAndToneStayInSyncAfterAMinute) {
    const SyncMeasure m = record("both", 62.0, SyncScene::TonePlayerAlone);
    ASSERT_GE(m.flash[1], 60);
    ASSERT_GE(m.tone[1], 60);
    EXPECT_NEAR(m.offsetMs(0), 0, 40);
    EXPECT_NEAR(m.offsetMs(1), 0, 40);
    std::cout << "[ sync     ] " << soundServerName(GetParam()) << ", a minute: flash - tone " << m.offsetMs(0) << " ms, "
              << m.offsetMs(1) << " ms\n";
}

INSTANTIATE_TEST_SUITE_P(Servers, SyncTest, kBothServers, serverParamName);

}  // namespace
}  // namespace kg::test
