// The `stop` command against real processes and real PID files (in TMPDIR, which each test
// points at its own directory).

#include <sys/stat.h>
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

    test::TempDir dir;
    // A child in our process group that prints "usr1" for each SIGUSR1 instead of dying of it.
    test::BackgroundProcess witness{{"/bin/sh", "-c", "trap 'echo usr1' USR1; echo ready; while :; do sleep 0.05; done"}};
    bool witnessSignalled(std::chrono::milliseconds within) {
        return witness.waitForLines(2, within).find("usr1") != std::string::npos;
    }
    void SetUp() override { ASSERT_EQ(witness.waitForLines(1, 10s), "ready\n"); }
};

TEST_F(StopCommand, SignalsTheNamedProcessAndLeavesThePidFileAsItWas) {
    const std::string text = "  \n " + std::to_string(witness.pid()) + " \n\n";
    test::writeFile(pidFile(), text);
    const auto result = runStop({"ignored", "arguments"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "{\"status\":\"stop_signal_sent\",\"pid\":" + std::to_string(witness.pid()) + "}\n");
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(witnessSignalled(5s));
    EXPECT_EQ(test::readFile(pidFile()), text);

    // A reaped child's identifier names no process (barring reuse): still reported as sent.
    pid_t gone = 0;
    {
        test::BackgroundProcess child({"/bin/true"});
        gone = child.pid();
        child.wait(10s);
    }
    test::writeFile(pidFile(), std::to_string(gone));
    EXPECT_EQ(runStop().out, "{\"status\":\"stop_signal_sent\",\"pid\":" + std::to_string(gone) + "}\n");
}

TEST_F(StopCommand, UnusablePidFilesMeanNoActiveRecordingAndSignalNobody) {
    // kill(0) would reach our own process group, kill(-1) every process of the user.
    const std::string contents[] = {"", "4242abc", "\xFF\xFE", "0", "-1", std::to_string(-::getpgrp())};
    auto expectRefused = [&](const std::string& what) {
        const auto result = runStop();
        EXPECT_EQ(result.exitStatus, 1) << what;
        EXPECT_EQ(result.out, "{\"error\":\"no active recording found\"}\n") << what;
        EXPECT_EQ(result.err, "") << what;
    };
    expectRefused("missing file");
    for (const auto& content : contents) {
        test::writeFile(pidFile(), content);
        expectRefused("content " + content);
        EXPECT_EQ(test::readFile(pidFile()), content);
    }
    std::filesystem::remove(pidFile());
    ASSERT_EQ(::mkfifo(pidFile().c_str(), 0600), 0);  // the command must not wait for a writer
    expectRefused("fifo");
    std::filesystem::remove(pidFile());
    if (::geteuid() == 0) {  // planted by another user
        test::writeFile(pidFile(), std::to_string(witness.pid()));
        ASSERT_EQ(::chown(pidFile().c_str(), 65534, 65534), 0);
        expectRefused("owned by nobody");
    }
    EXPECT_FALSE(witnessSignalled(300ms));
}

}  // namespace
}  // namespace kg
