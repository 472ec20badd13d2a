#include "capture/portal/restore_token_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <system_error>

#include "platform/unique_fd.h"

namespace kg::capture {

namespace {

constexpr std::size_t kMaxTokenBytes = 4096;

}  // namespace

std::optional<std::filesystem::path> RestoreTokenStore::defaultPath() {
    std::filesystem::path base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        base = state;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".local" / "state";
    else
        return std::nullopt;
    return base / "kestrelgrain-capture" / "screen-cast-restore-token";
}

std::optional<std::string> RestoreTokenStore::load() const {
    if (!path_) return std::nullopt;
    std::ifstream in(*path_);
    std::string token;
    if (!in || !std::getline(in, token) || token.empty() || token.size() > kMaxTokenBytes) return std::nullopt;
    return token;
}

bool RestoreTokenStore::save(const std::string& token) const {
    if (!path_ || token.empty() || token.size() > kMaxTokenBytes || token.find('\n') != std::string::npos) return false;
    std::error_code error;
    const std::filesystem::path dir = path_->parent_path();
    std::filesystem::create_directories(dir, error);
    if (error) return false;
    ::chmod(dir.c_str(), 0700);
    // Written beside the file and renamed over it: a reader never sees half a token.
    const std::filesystem::path temporary = dir / (path_->filename().string() + ".XXXXXX");
    std::string pattern = temporary.string();
    UniqueFd fd(::mkstemp(pattern.data()));  // mode 0600
    if (!fd) return false;
    const std::string line = token + "\n";
    const bool written = ::write(fd.get(), line.data(), line.size()) == static_cast<ssize_t>(line.size()) &&
                         ::fsync(fd.get()) == 0;
    fd.reset();
    if (!written || ::rename(pattern.c_str(), path_->c_str()) != 0) {
        ::unlink(pattern.c_str());
        return false;
    }
    return true;
}

void RestoreTokenStore::discard() const {
    if (path_) ::unlink(path_->c_str());
}

}  // namespace kg::capture
