// The built executable as a controlling program runs it: a missing or unknown command word
// gives one JSON line, exit status 1 and an empty standard error, whatever bytes the word holds.
#include <gtest/gtest.h>

#include "tests/support/process_runner.h"

namespace kg {
namespace {

TEST(Dispatch, MissingOrUnknownCommandPrintsOneErrorLineAndExitsWithOne) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, R"({"error":"usage: kestrelgrain-capture <select-region|record|stop>"})"},
        {{""}, R"({"error":"unknown command: "})"},
        {{"Record"}, R"({"error":"unknown command: Record"})"},  // command words are case-sensitive
        {{"select_region", "stop"}, R"({"error":"unknown command: select_region"})"},
        {{"./a\"b\n"}, R"({"error":"unknown command: .\/a\"b\n"})"},
        {{"bad\xFF"}, "{\"error\":\"unknown command: bad\xEF\xBF\xBD\"}"},
    };
    for (auto [args, line] : cases) {
        args.insert(args.begin(), KG_EXECUTABLE);
        const auto result = test::runProcess(args);
        EXPECT_EQ(result.exitStatus, 1) << line;
        EXPECT_EQ(result.out, line + "\n");
        EXPECT_EQ(result.err, "");
    }
}

}  // namespace
}  // namespace kg
