// The `stop` command against real processes and real PID files.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "tests/support/process_runner.h"
#include "tests/support/temp_dir.h"

namespace kg {
namespace {

using namespace std::chrono_literals;

class StopCommand : public ::testing::Test {
protected:
    // The PID file lives in TMPDIR, which each test points at its own directory.
    test::ProcessResult runStop(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {KG_EXECUTABLE, "stop"};
        args.insert(args.end(), extra.begin(), extra.end());
        test::ProcessOptions options;
        options.env["TMPDIR"] = dir.path().string();
        return test::runProcess(args, options);
    }
    std::string pidFile() const { return dir.file("kestrelgrain-recording.pid"); }

    static void expectNoRecording(const test::ProcessResult& result, const std::string& what) {
        EXPECT_EQ(result.exitStatus, 1) << what;
        EXPECT_EQ(result.out, "{\"error\":\"no active recording found\"}\n") << what;
        EXPECT_EQ(result.err, "") << what;
    }

    test::TempDir dir;
};

// A child that reports SIGUSR1 on its standard output instead of dying of it.
class SignalRecorder {
public:
    SignalRecorder()
        : process_({"/bin/sh", "-c", "trap 'echo usr1' USR1; echo ready; while :; do sleep 0.05; done"}) {
        process_.waitForLines(1, 10s);
    }
    pid_t pid() const { return process_.pid(); }
    bool gotSignal() { return process_.waitForLines(2, 5s).find("usr1") != std::string::npos; }
    bool gotSignalWithin(std::chrono::milliseconds t) { return process_.waitForLines(2, t).find("usr1") != std::string::npos; }

private:
    test::BackgroundProcess process_;
};

TEST_F(StopCommand, SignalsTheProcessNamedInThePidFile) {
    // The accepted forms are the parser's unit tests; one with white space around suffices.
    SignalRecorder child;
    const std::string text = "  \n " + std::to_string(child.pid()) + " \n\n";
    test::writeFile(pidFile(), text);

    const auto result = runStop({"ignored", "arguments"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "{\"status\":\"stop_signal_sent\",\"pid\":" + std::to_string(child.pid()) + "}\n");
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(child.gotSignal());
    EXPECT_EQ(test::readFile(pidFile()), text) << "the PID file stays as it was";
}

TEST_F(StopCommand, ReportsSentForAProcessThatNoLongerExists) {
    // A reaped child's identifier is free again (and, barring reuse, names no process).
    pid_t gone = 0;
    {
        test::BackgroundProcess child({"/bin/true"});
        gone = child.pid();
        child.wait(10s);
    }
    test::writeFile(pidFile(), std::to_string(gone));
    const auto result = runStop();
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "{\"status\":\"stop_signal_sent\",\"pid\":" + std::to_string(gone) + "}\n");
}

TEST_F(StopCommand, MalformedPidFilesMeanNoActiveRecording) {
    expectNoRecording(runStop(), "missing file");
    const char* const contents[] = {"", "4242abc", "3000000000", "\xFF\xFE"};
    for (const char* content : contents) {
        test::writeFile(pidFile(), content);
        expectNoRecording(runStop(), std::string("content: ") + content);
        EXPECT_EQ(test::readFile(pidFile()), content);
    }
}

TEST_F(StopCommand, RefusesIdentifiersThatWouldSignalGroups) {
    // kill(0) would hit the caller's own process group and kill(-1) every process of the
    // user; both must be refused before any signal is sent.
    SignalRecorder bystander;  // in our process group
    const std::vector<std::string> identifiers = {"0", "-1", "-0", std::to_string(-static_cast<int>(::getpgrp()))};
    for (const auto& content : identifiers) {
        test::writeFile(pidFile(), content);
        expectNoRecording(runStop(), "identifier " + content);
    }
    EXPECT_FALSE(bystander.gotSignalWithin(300ms));
}

TEST_F(StopCommand, RefusesPidFilesThatAreNotTheUsersOwnRegularFiles) {
    SignalRecorder child;
    const std::string pid = std::to_string(child.pid());

    // The other kinds of file (link, directory, device, huge) are the reader's unit tests.
    // A symbolic link to a good file.
    test::writeFile(dir.file("elsewhere"), pid);
    std::filesystem::create_symlink(dir.file("elsewhere"), pidFile());
    expectNoRecording(runStop(), "symlink");
    std::filesystem::remove(pidFile());

    // A FIFO: the command must not hang waiting for a writer.
    ASSERT_EQ(::mkfifo(pidFile().c_str(), 0600), 0);
    expectNoRecording(runStop(), "fifo");
    std::filesystem::remove(pidFile());

    // Planted by another user.
    if (::geteuid() == 0) {
        test::writeFile(pidFile(), pid);
        ASSERT_EQ(::chown(pidFile().c_str(), 65534, 65534), 0);
        expectNoRecording(runStop(), "owned by nobody");
        EXPECT_EQ(test::readFile(pidFile()), pid);
    }
    EXPECT_FALSE(child.gotSignalWithin(300ms));
}

}  // namespace
}  // namespace kg
