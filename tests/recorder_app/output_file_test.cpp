// `record` and the file it writes to, when that file is hostile or cannot take the recording: a
// full disk, a kill, a FIFO or a device, a second recording to the same file, a link another user
// planted in a shared temporary directory. Every run not killed ends with its result lines and
// nothing on standard error, and whatever file a run leaves decodes without a single error.

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/capture/movie_reader.h"
#include "tests/support/desktop.h"
#include "tests/support/process_runner.h"
#include "tests/support/temp_dir.h"

namespace kg::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class RecordOutputFile : public ::testing::Test {
protected:
    // A moving full-screen picture: every frame carries data, so the file grows fast.
    void SetUp() override {
        player_ = std::make_unique<BackgroundProcess>(
            std::vector<std::string>{"ffplay", "-loglevel", "quiet", "-f", "lavfi", "-i",
                                     "testsrc2=s=1280x800:r=30", "-left", "0", "-top", "0", "-noborder", "-an"},
            desktop_.clientOptions());
    }
    std::vector<std::string> record(const std::string& output, const std::string& seconds = "30") const {
        return {KG_EXECUTABLE, "record", "--audio", "none", "--max-seconds", seconds, "--output", output};
    }
    ProcessOptions options(const std::string& tmpdir = "") const {
        ProcessOptions o = desktop_.clientOptions();
        o.env["TMPDIR"] = tmpdir.empty() ? dir_.path().string() : tmpdir;
        o.timeout = 40s;
        return o;
    }
    // One line, the error object, and nothing else.
    static void expectRefusal(const ProcessResult& result, const std::string& error) {
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.err, "");
        ASSERT_EQ(result.lines().size(), 1u) << result.out;
        EXPECT_EQ(result.lines()[0].value("error", ""), error);
    }
    static void expectDecodesCleanly(const std::string& path) {
        const ProcessResult decode = runProcess({"ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"});
        EXPECT_EQ(decode.exitStatus, 0);
        EXPECT_EQ(decode.err, "") << path;
    }

    TempDir dir_;
    DesktopSession desktop_{Desktop::Bare, 0x2a7fb0};
    std::unique_ptr<BackgroundProcess> player_;
};

// The root of a tmpfs is a shared directory (mode 1777): the recording is also created 0600.
TEST_F(RecordOutputFile, AFullDiskEndsTheRecordingAtOnceWithAFileCutToItsLastWholeFragment) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a 2 MB tmpfs needs root";
    const std::string disk = dir_.file("disk"), movie = disk + "/movie.mp4";
    fs::create_directory(disk);
    ASSERT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=2m"), 0);
    const struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk};
    const auto begin = std::chrono::steady_clock::now();
    const ProcessResult result = runProcess(record(movie), options());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    const auto lines = result.lines();
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[0].value("status", ""), "recording");
    EXPECT_EQ(lines[1].value("error", ""), "recording failed: No space left on device");
    EXPECT_EQ(lines[2].value("status", ""), "done");
    EXPECT_LT(seconds, 25);  // --max-seconds 30: it did not run on
    EXPECT_EQ(lines[2].value("size", 0), static_cast<std::int64_t>(fs::file_size(movie)));
    EXPECT_GT(lines[2].value("duration", 0.0), 0.5);
    EXPECT_EQ(fs::status(movie).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    expectDecodesCleanly(movie);
}

// Killed without a chance to finish the file: what was written plays up to its last two seconds.
TEST_F(RecordOutputFile, AKilledRecordingStaysPlayableUpToItsLastTwoSeconds) {
    const std::string movie = dir_.file("killed.mp4");
    BackgroundProcess run(record(movie, "60"), options());
    ASSERT_NE(run.waitForLines(1, 30s).find("recording"), std::string::npos);
    std::this_thread::sleep_for(4s);
    run.signal(SIGKILL);
    EXPECT_EQ(run.wait(10s).termSignal, SIGKILL);
    const MovieSummary summary = readMovie(movie);
    ASSERT_TRUE(summary.readable);
    EXPECT_EQ(summary.width, 1280);
    ASSERT_GT(summary.frameTimes.size(), 20u);
    EXPECT_GE(summary.frameTimes.back(), 2.0);  // killed 4 s in
    expectDecodesCleanly(movie);
}

TEST_F(RecordOutputFile, AFifoADeviceOrADirectoryIsRefusedWithoutBlocking) {
    const std::string fifo = dir_.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    expectRefusal(runProcess(record(fifo), options()), "cannot create " + fifo + ": it is a FIFO or socket, not a regular file");
    expectRefusal(runProcess(record("/dev/null"), options()), "cannot create /dev/null: it is a device, not a regular file");
    expectRefusal(runProcess(record(dir_.path().string()), options()),
                  "cannot create " + dir_.path().string() + ": it is a directory");
    EXPECT_TRUE(fs::is_fifo(fifo));
}

// The first recording writes through the user's own link; the second names the file itself.
TEST_F(RecordOutputFile, ASecondRecordingOfTheSameFileIsRefusedAndTheFirstGoesOn) {
    const std::string movie = dir_.file("movie.mp4"), link = dir_.file("link.mp4");
    fs::create_symlink(movie, link);
    BackgroundProcess first(record(link, "4"), options());
    ASSERT_NE(first.waitForLines(1, 30s).find("recording"), std::string::npos);
    expectRefusal(runProcess(record(movie), options()), "cannot create " + movie + ": another recording is writing to it");
    const ProcessResult result = first.wait(30s);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    ASSERT_EQ(result.lines().size(), 2u) << result.out;
    EXPECT_EQ(result.lines()[1].value("size", 0), static_cast<std::int64_t>(fs::file_size(movie)));
    EXPECT_NEAR(result.lines()[1].value("duration", 0.0), 4.0, 0.5);
    expectDecodesCleanly(movie);
}

TEST_F(RecordOutputFile, TheDefaultOutputInASharedDirectoryNeverFollowsALinkOrUsesAFileOfAnotherUser) {
    if (::geteuid() != 0 || findProgram("setpriv").empty()) GTEST_SKIP() << "acting as another user needs root and setpriv";
    const std::string shared = dir_.file("shared"), victim = dir_.file("victim.txt");
    const std::string planted = shared + "/kestrelgrain-recording.mp4";
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::create_directory(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    writeFile(victim, "secret");
    const auto asNobody = [](const std::string& command) {
        return runProcess({"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "/bin/sh", "-c",
                           command});
    };
    ASSERT_EQ(asNobody("ln -s " + victim + " " + planted).exitStatus, 0);
    std::vector<std::string> argv = record("x");
    argv.resize(argv.size() - 2);  // the default output
    expectRefusal(runProcess(argv, options(shared)),
                  "cannot create " + planted + ": it is a symbolic link another user placed in a shared directory");
    EXPECT_EQ(readFile(victim), "secret");

    fs::remove(planted);
    ASSERT_EQ(asNobody("echo x > " + planted + " && chmod 666 " + planted).exitStatus, 0);
    expectRefusal(runProcess(argv, options(shared)), "cannot create " + planted + ": the file belongs to another user");
    EXPECT_EQ(readFile(planted), "x\n");
}

}  // namespace
}  // namespace kg::test
