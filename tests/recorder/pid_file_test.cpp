#include "recorder/pid_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace kg {
namespace {

TEST(ParsePidText, AcceptsOnlyAPositiveDecimalIdentifierWithWhiteSpaceAround) {
    const std::pair<std::string, pid_t> accepted[] = {
        {"4242\n", 4242}, {"  \n\n 4242 \n\n", 4242}, {"+4242", 4242}, {"\t4242\r\n", 4242},
        {"\xC2\xA0" "4242\xE3\x80\x80", 4242},  // no-break space and ideographic space
        {"2147483647", 2147483647}, {"1", 1},
    };
    for (const auto& [text, pid] : accepted) EXPECT_EQ(parsePidText(text), std::optional<pid_t>(pid)) << text;
    const char* const refused[] = {
        "", "   \n", "42 42", "4242abc", "0x10", "3000000000", "2147483648", "-2147483649", "++1", "+-1",
        "-", "+", "4.5", "1e3", "\xFF" "42",
        "0", "-0", "-1", "-4242", "-2147483648",  // kill() would take these as groups or "everyone"
    };
    for (const char* text : refused) EXPECT_FALSE(parsePidText(text).has_value()) << text;
}

TEST(ReadPidFile, ReadsOnlyASmallRegularFileAndNeverBlocks) {
    test::TempDir dir;
    test::writeFile(dir.file("good"), " 4242\n");
    EXPECT_EQ(readPidFile(dir.file("good")), std::optional<pid_t>(4242));

    std::filesystem::create_symlink(dir.file("good"), dir.file("link"));
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);  // no writer: opening would block
    test::writeFile(dir.file("huge"), "4242" + std::string(kMaxPidFileBytes, ' '));
    test::writeFile(dir.file("unreadable"), "4242");
    ::chmod(dir.file("unreadable").c_str(), 0);
    const std::string refused[] = {dir.file("missing"), dir.file("link"), dir.file("fifo"), dir.path().string(),
                                   "/dev/zero", dir.file("huge")};
    for (const auto& path : refused) EXPECT_FALSE(readPidFile(path).has_value()) << path;
    if (::geteuid() != 0) {  // root reads anything
        EXPECT_FALSE(readPidFile(dir.file("unreadable")).has_value());
    }
}

}  // namespace
}  // namespace kg
