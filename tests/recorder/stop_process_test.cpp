// The `stop` command against real processes and real PID files (in TMPDIR, which each test
// points at its own directory).

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/process_runner.h"
#include "tests/support/temp_dir.h"

namespace kg {
namespace {

using namespace std::chrono_literals;

class StopCommand : public ::testing::Test {
protected:
    test::ProcessResult runStop(std::vector<std::string> extra = {}) {
        extra.insert(extra.begin(), {KG_EXECUTABLE, "stop"});
        test::ProcessOptions options;
        options.env["TMPDIR"] = dir.path().string();
        return test::runProcess(extra, options);
    }
    std::string pidFile() const { return dir.file("kestrelgrain-recording.pid"); }

    bool witnessSignalled(std::chrono::milliseconds within) {
        return witness.waitForLines(2, within).find("usr1") != std::string::npos;
    }
    void SetUp() override { ASSERT_EQ(witness.waitForLines(1, 10s), "ready\n"); }

    test::TempDir dir;
    // A child in our process group that prints "usr1" for each SIGUSR1 instead of dying of it.
    test::BackgroundProcess witness{{"/bin/sh", "-c", "trap 'echo usr1' USR1; echo ready; while :; do sleep 0.05; done"}};
};

TEST_F(StopCommand, UnusablePidFilesSignalNobodyAndAUsableOneSignalsItsProcess) {
    auto expect = [&](const std::string& what, int status, const std::string& line, std::vector<std::string> extra = {}) {
        const auto result = runStop(extra);
        EXPECT_EQ(result.exitStatus, status) << what;
        EXPECT_EQ(result.out, line + "\n") << what;
        EXPECT_EQ(result.err, "") << what;
    };
    // Which contents and files are unusable is ParsePidText's and ReadPidFile's table; here,
    // that such a file reaches nobody. kill(0) would reach our own process group.
    const std::string refused = R"({"error":"no active recording found"})";
    expect("missing file", 1, refused);
    test::writeFile(pidFile(), "0");
    expect("content 0", 1, refused);
    EXPECT_EQ(test::readFile(pidFile()), "0");
    std::filesystem::remove(pidFile());
    if (::geteuid() == 0) {  // planted by another user
        test::writeFile(pidFile(), std::to_string(witness.pid()));
        ASSERT_EQ(::chown(pidFile().c_str(), 65534, 65534), 0);
        expect("owned by nobody", 1, refused);
        std::filesystem::remove(pidFile());
    }
    EXPECT_FALSE(witnessSignalled(300ms));

    // A reaped child's identifier names no process (barring reuse): still reported as sent.
    pid_t gone = 0;
    {
        test::BackgroundProcess child({"/bin/true"});
        gone = child.pid();
        child.wait(10s);
    }
    test::writeFile(pidFile(), std::to_string(gone));
    expect("stale", 0, R"({"status":"stop_signal_sent","pid":)" + std::to_string(gone) + "}");

    const std::string text = "  \n " + std::to_string(witness.pid()) + " \n\n";
    test::writeFile(pidFile(), text);
    expect("live", 0, R"({"status":"stop_signal_sent","pid":)" + std::to_string(witness.pid()) + "}", {"ignored", "arguments"});
    EXPECT_TRUE(witnessSignalled(5s));
    EXPECT_EQ(test::readFile(pidFile()), text) << "the PID file stays as it was";
}

}  // namespace
}  // namespace kg
