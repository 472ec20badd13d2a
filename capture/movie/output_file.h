#pragma once
// The file a recording is written to, opened in place under its own name (so that a process
// killed mid-recording leaves its fragments where the caller looks for them), for writing and
// for reading back where a torn file can be cut, and held locked until it is released.
//
// What is refused, with CaptureError "cannot create <path>: <reason>", before a byte changes:
// - anything but a regular file (a FIFO, a device, a directory), checked before opening so
//   that nothing blocks and no device is opened, and again on the opened descriptor;
// - a file that belongs to another user;
// - a file another recording holds (an exclusive flock(2) on the file itself, so every process
//   that names the file through any path sees it);
// - in a shared directory (sticky and writable by others, as /tmp): a symbolic link that is not
//   the caller's own, and a file with more than one name. Our own link there is followed: the
//   sticky bit keeps everyone else from replacing it.
// A file created in a shared directory is readable by its owner only (0600), and an existing
// one there loses its group and other permissions; elsewhere the umask applies as usual.
//
// Threads: any, one at a time.

#include <cstdint>
#include <string>

#include "platform/unique_fd.h"

namespace kg::capture {

class OutputFile {
public:
    OutputFile() = default;

    // Opens (creating it when missing) and locks `path`, then empties it. Relative paths start
    // at the working directory. Throws CaptureError.
    static OutputFile create(const std::string& path);

    [[nodiscard]] int fd() const { return fd_.get(); }
    [[nodiscard]] explicit operator bool() const { return static_cast<bool>(fd_); }

    // Cuts the file back to its first `bytes` bytes. Returns false when the file system refuses.
    bool cutTo(std::int64_t bytes) const;

private:
    explicit OutputFile(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;
};

}  // namespace kg::capture
