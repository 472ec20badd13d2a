// Runs the built executable the way a controlling program does: arguments in, one JSON line
// per outcome and an exit status out, standard error always empty.

#include <gtest/gtest.h>

#include "tests/support/process_runner.h"

namespace kg {
namespace {

test::ProcessResult runTool(std::vector<std::string> args) {
    args.insert(args.begin(), KG_EXECUTABLE);
    return test::runProcess(args);
}

TEST(Dispatch, UsageAndUnknownCommands) {
    const struct {
        std::vector<std::string> args;
        std::string expectedLine;
    } cases[] = {
        {{}, R"({"error":"usage: kestrelgrain-capture <select-region|record|stop>"})"},
        {{""}, R"({"error":"unknown command: "})"},
        {{"Record"}, R"({"error":"unknown command: Record"})"},
        {{"STOP"}, R"({"error":"unknown command: STOP"})"},
        {{"stop "}, R"({"error":"unknown command: stop "})"},
        {{"rec"}, R"({"error":"unknown command: rec"})"},
        {{"select_region", "stop"}, R"({"error":"unknown command: select_region"})"},
        {{"./record"}, R"({"error":"unknown command: .\/record"})"},
        {{"a\"b\\c\n"}, R"({"error":"unknown command: a\"b\\c\n"})"},
        {{"bad\xFF"}, "{\"error\":\"unknown command: bad\xEF\xBF\xBD\"}"},
    };
    for (const auto& c : cases) {
        const auto result = runTool(c.args);
        EXPECT_EQ(result.exitStatus, 1) << c.expectedLine;
        EXPECT_EQ(result.out, c.expectedLine + "\n");
        EXPECT_EQ(result.err, "");
    }
}

}  // namespace
}  // namespace kg
