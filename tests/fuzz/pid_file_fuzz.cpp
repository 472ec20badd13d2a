// Any bytes as the PID file: the text never yields what kill() takes as a group, and the file
// reader agrees with the text reader for every file small enough to be read (a scratch file on
// a memory file system, removed after use).
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "recorder/pid_file.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const auto pid = kg::parsePidText({reinterpret_cast<const char*>(data), size});
    if (pid && *pid <= 0) std::abort();
    static const std::string path = "/dev/shm/kg-pid-fuzz-" + std::to_string(::getpid());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    ::close(fd);
    const auto read = kg::readPidFile(path);
    ::unlink(path.c_str());
    if (read != (size <= kg::kMaxPidFileBytes ? pid : std::nullopt)) std::abort();
    return 0;
}
