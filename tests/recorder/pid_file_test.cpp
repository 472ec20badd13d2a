#include "recorder/pid_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace kg {
namespace {

TEST(ParsePidText, AcceptsADecimalIdentifierWithWhiteSpaceAround) {
    const struct {
        std::string text;
        pid_t pid;
    } cases[] = {
        {"4242\n", 4242},
        {"  \n\n 4242 \n\n", 4242},
        {"+4242", 4242},
        {"\t4242\r\n", 4242},
        {"\xC2\xA0" "4242\xE3\x80\x80", 4242},  // no-break space and ideographic space
        {"2147483647", 2147483647},
        {"1", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parsePidText(c.text), std::optional<pid_t>(c.pid)) << c.text;
    }
}

TEST(ParsePidText, RefusesAnythingElse) {
    const char* const cases[] = {
        "", "   \n", "42 42", "4242abc", "0x10", "3000000000", "2147483648", "-2147483649",
        "++1", "+-1", "-", "+", "4.5", "1e3", "\xFF" "42",
        // Identifiers that kill() would take as a process group or as "every process".
        "0", "-0", "-1", "-4242", "-2147483648",
    };
    for (const char* text : cases) {
        EXPECT_FALSE(parsePidText(text).has_value()) << text;
    }
}

TEST(ReadPidFile, ReadsARegularFileOfTheUser) {
    test::TempDir dir;
    test::writeFile(dir.file("pid"), " 4242\n");
    EXPECT_EQ(readPidFile(dir.file("pid")), std::optional<pid_t>(4242));
}

TEST(ReadPidFile, RefusesFilesThatAreNotPlainSmallOwnFiles) {
    test::TempDir dir;
    // Missing.
    EXPECT_FALSE(readPidFile(dir.file("missing")).has_value());
    // A symbolic link, even to a good file.
    test::writeFile(dir.file("good"), "4242");
    std::filesystem::create_symlink(dir.file("good"), dir.file("link"));
    EXPECT_FALSE(readPidFile(dir.file("link")).has_value());
    // A FIFO without a writer: refused at once instead of blocking.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(readPidFile(dir.file("fifo")).has_value());
    // A directory and a device.
    EXPECT_FALSE(readPidFile(dir.path().string()).has_value());
    EXPECT_FALSE(readPidFile("/dev/zero").has_value());
    // Too large, even when it starts with a number.
    test::writeFile(dir.file("huge"), "4242" + std::string(kMaxPidFileBytes, ' '));
    EXPECT_FALSE(readPidFile(dir.file("huge")).has_value());
    // Not readable by anyone (root ignores permissions, so only check where that holds).
    if (::geteuid() != 0) {
        test::writeFile(dir.file("unreadable"), "4242");
        ::chmod(dir.file("unreadable").c_str(), 0);
        EXPECT_FALSE(readPidFile(dir.file("unreadable")).has_value());
    }
}

}  // namespace
}  // namespace kg
