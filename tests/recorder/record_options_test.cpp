#include "recorder/record_options.h"

#include <gtest/gtest.h>

#include "recorder/temp_directory.h"

namespace kg {
namespace {

TEST(RecordOptions, EachOptionTakesTheNextArgumentLaterOnesWinAndUnknownOnesAreSkipped) {
    const std::string defaultOutput = temporaryDirectory() + "kestrelgrain-recording.mp4";
    const char* const region = R"({"x":10.5,"y":20,"width":640,"height":480})";
    struct Case {
        std::vector<std::string> args;
        std::int64_t maxSeconds;
        std::string audio, output;
        std::optional<Rect> region;
    };
    const Case cases[] = {
        {{}, 30, "system", defaultOutput, std::nullopt},
        {{"--max-seconds"}, 30, "system", defaultOutput, std::nullopt},
        {{"--max-seconds", "7", "--max-seconds"}, 7, "system", defaultOutput, std::nullopt},
        {{"--max-seconds", "10", "--max-seconds", "abc"}, 30, "system", defaultOutput, std::nullopt},
        {{"--audio", "--output", "x"}, 30, "--output", defaultOutput, std::nullopt},
        {{"--fps", "60", "--output", "a.mp4", "--output", "b.mp4", "--AUDIO", "both"}, 30, "system", "b.mp4", std::nullopt},
        {{"--region", region, "--region", "10,20,30,40"}, 30, "system", defaultOutput, std::nullopt},
        {{"--region", region, "--audio", ""}, 30, "", defaultOutput, Rect{10.5, 20, 640, 480}},
    };
    for (const auto& c : cases) {
        const auto s = parseRecordOptions(c.args);
        EXPECT_EQ(s.maxSeconds, c.maxSeconds) << ::testing::PrintToString(c.args);
        EXPECT_EQ(s.audioMode, c.audio) << ::testing::PrintToString(c.args);
        EXPECT_EQ(s.outputPath, c.output) << ::testing::PrintToString(c.args);
        EXPECT_EQ(s.region, c.region) << ::testing::PrintToString(c.args);
    }
}

TEST(RecordOptions, MaxSecondsIsAPlainNonNegativeIntegerClampedToWhatNanosecondsHold) {
    const std::pair<const char*, std::int64_t> cases[] = {
        {"10", 10}, {"+15", 15}, {"0", 0}, {"-0", 0}, {"abc", 30}, {"12.5", 30}, {"", 30}, {" 5", 30}, {"5 ", 30},
        {"1e3", 30}, {"0x10", 30}, {"++5", 30}, {"-5", 30},
        {"18446744073", 18446744073}, {"18446744074", 18446744073}, {"9223372036854775807", 18446744073},
        {"9223372036854775808", 30},  // outside the signed 64-bit range
    };
    for (const auto& [text, seconds] : cases) EXPECT_EQ(parseMaxSeconds(text), seconds) << text;
}

TEST(RecordOptions, TemporaryDirectoryHonoursTmpdirWithOneTrailingSlash) {
    const char* saved = std::getenv("TMPDIR");
    const std::string restore = saved ? saved : "";
    for (const char* value : {"/var/tmp", "/var/tmp/", "/var/tmp//"}) {
        ::setenv("TMPDIR", value, 1);
        EXPECT_EQ(temporaryDirectory(), "/var/tmp/") << value;
    }
    if (saved) ::setenv("TMPDIR", restore.c_str(), 1); else ::unsetenv("TMPDIR");
}

}  // namespace
}  // namespace kg
