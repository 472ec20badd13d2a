// Any bytes as the PID file: the text reader refuses what kill() would take as a group, and
// the file reader agrees with it for every file small enough to be read.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "recorder/pid_file.h"

namespace {

// A scratch file per input, on a memory file system where there is one, removed after use.
std::string scratchPath() {
    const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/kg-pid-fuzz-" + std::to_string(::getpid());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto pid = kg::parsePidText(text);
    if (pid && *pid <= 0) std::abort();

    static const std::string path = scratchPath();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    ::close(fd);
    const auto read = kg::readPidFile(path);
    ::unlink(path.c_str());
    if (read != (size <= kg::kMaxPidFileBytes ? pid : std::nullopt)) std::abort();
    return 0;
}
