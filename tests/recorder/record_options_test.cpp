#include "recorder/record_options.h"

#include <gtest/gtest.h>

#include "recorder/temp_directory.h"

namespace kg {
namespace {

TEST(RecordOptions, DefaultsWithoutOptions) {
    const auto s = parseRecordOptions({});
    EXPECT_FALSE(s.region.has_value());
    EXPECT_EQ(s.audioMode, "system");
    EXPECT_EQ(s.outputPath, temporaryDirectory() + "kestrelgrain-recording.mp4");
    EXPECT_EQ(s.maxSeconds, 30);
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

TEST(RecordOptions, MaxSecondsReading) {
    const struct {
        const char* text;
        std::int64_t seconds;
    } cases[] = {
        {"10", 10}, {"+15", 15}, {"0", 0}, {"abc", 30}, {"12.5", 30}, {"", 30}, {" 5", 30}, {"5 ", 30},
        {"1e3", 30}, {"0x10", 30}, {"++5", 30}, {"-5", 30}, {"-0", 0},
        {"18446744073", 18446744073}, {"18446744074", 18446744073}, {"9223372036854775807", 18446744073},
        {"9223372036854775808", 30},  // outside the signed 64-bit range
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseMaxSeconds(c.text), c.seconds) << c.text;
    }
}

TEST(RecordOptions, OptionLoop) {
    using Args = std::vector<std::string>;
    {
        const auto s = parseRecordOptions(Args{"--max-seconds"});
        EXPECT_EQ(s.maxSeconds, 30);
    }
    {
        const auto s = parseRecordOptions(Args{"--max-seconds", "7", "--max-seconds"});
        EXPECT_EQ(s.maxSeconds, 7) << "a trailing option without value is ignored";
    }
    {
        const auto s = parseRecordOptions(Args{"--max-seconds", "10", "--max-seconds", "abc"});
        EXPECT_EQ(s.maxSeconds, 30) << "an invalid later value resets to the default";
    }
    {
        const auto s = parseRecordOptions(Args{"--audio", "--output", "x"});
        EXPECT_EQ(s.audioMode, "--output");
        EXPECT_EQ(s.outputPath, temporaryDirectory() + "kestrelgrain-recording.mp4");
    }
    {
        const auto s = parseRecordOptions(Args{"--fps", "60", "--output", "a.mp4", "--output", "b.mp4", "--AUDIO", "both"});
        EXPECT_EQ(s.outputPath, "b.mp4");
        EXPECT_EQ(s.audioMode, "system");
    }
    {
        const auto s = parseRecordOptions(Args{"--region", R"({"x":1,"y":2,"width":3,"height":4})", "--region", "10,20,30,40"});
        EXPECT_FALSE(s.region.has_value()) << "only the last region text is parsed";
    }
    {
        const auto s = parseRecordOptions(Args{"--region", R"({"x":10.5,"y":20,"width":640,"height":480})", "--audio", ""});
        ASSERT_TRUE(s.region.has_value());
        EXPECT_EQ(*s.region, (Rect{10.5, 20, 640, 480}));
        EXPECT_EQ(s.audioMode, "");
    }
}

}  // namespace
}  // namespace kg
