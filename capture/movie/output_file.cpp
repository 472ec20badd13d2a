#include "capture/movie/output_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture/capture_error.h"

namespace kg::capture {
namespace {

const char* typeProblem(mode_t mode) {
    if (S_ISREG(mode)) return nullptr;
    if (S_ISDIR(mode)) return "it is a directory";
    if (S_ISFIFO(mode) || S_ISSOCK(mode)) return "it is a FIFO or socket, not a regular file";
    return "it is a device, not a regular file";
}

}  // namespace

OutputFile OutputFile::create(const std::string& path) {
    auto failure = [&](const std::string& reason) { return CaptureError("cannot create " + path + ": " + reason); };
    auto systemFailure = [&] { return failure(std::strerror(errno)); };

    const auto slash = path.rfind('/');
    const std::string dirPath = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) throw failure("it is a directory");
    const UniqueFd dir(::open(dirPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!dir) throw systemFailure();
    struct stat dirStat {};
    if (::fstat(dir.get(), &dirStat) != 0) throw systemFailure();
    const bool sharedDir = (dirStat.st_mode & S_ISVTX) && (dirStat.st_mode & (S_IWGRP | S_IWOTH));
    const uid_t me = ::geteuid();

    // In a shared directory another user can plant a link under our name at any moment, so a
    // link is only followed when it is already there and ours (nobody else can replace it).
    struct stat entry {};
    const bool exists = ::fstatat(dir.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0;
    const bool ownLink = exists && S_ISLNK(entry.st_mode) && entry.st_uid == me;
    if (sharedDir && exists && S_ISLNK(entry.st_mode) && !ownLink)
        throw failure("it is a symbolic link another user placed in a shared directory");
    const bool follow = !sharedDir || ownLink;

    // Checked before opening: opening a FIFO or a device can block or act on the device.
    struct stat target {};
    if (::fstatat(dir.get(), name.c_str(), &target, follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0) {
        if (const char* problem = typeProblem(target.st_mode)) throw failure(problem);
        if (target.st_uid != me) throw failure("the file belongs to another user");
    }

    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (follow ? 0 : O_NOFOLLOW);
    UniqueFd fd(::openat(dir.get(), name.c_str(), flags, sharedDir ? 0600 : 0666));
    if (!fd && errno == ELOOP && !follow)
        throw failure("it is a symbolic link another user placed in a shared directory");
    if (!fd && errno == ENXIO) throw failure("it is a FIFO or socket, not a regular file");
    if (!fd) throw systemFailure();

    // The checks that count: on what was opened, whatever happened to the name meanwhile.
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0) throw systemFailure();
    if (const char* problem = typeProblem(opened.st_mode)) throw failure(problem);
    if (opened.st_uid != me) throw failure("the file belongs to another user");
    const bool inSharedDir = sharedDir && !ownLink;
    if (inSharedDir && opened.st_nlink > 1) throw failure("the file has other names (hard links) in a shared directory");
    if (::fcntl(fd.get(), F_SETFL, 0) != 0) throw systemFailure();

    // Nothing is changed before the lock is held: a second recording leaves the first intact.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) throw failure("another recording is writing to it");
        throw systemFailure();
    }
    if (inSharedDir && (opened.st_mode & 077) && ::fchmod(fd.get(), opened.st_mode & 0700) != 0) throw systemFailure();
    if (::ftruncate(fd.get(), 0) != 0) throw systemFailure();
    return OutputFile(std::move(fd));
}

bool OutputFile::cutTo(std::int64_t bytes) const { return ::ftruncate(fd_.get(), static_cast<off_t>(bytes)) == 0; }

}  // namespace kg::capture
