#include "recorder/pid_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>

#include "cli/utf8.h"
#include "platform/unique_fd.h"

namespace kg {

std::optional<pid_t> parsePidText(std::string_view raw) {
    if (!utf8::isValid(raw)) return std::nullopt;
    std::string_view text = utf8::trimmedWhitespace(raw);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    // from_chars takes an optional "-" itself; a "+" after our own strip ("+-1", "++1") is
    // then refused as a non-digit.
    if (text.empty() || text.front() == '+') return std::nullopt;
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (value <= 0) return std::nullopt;
    return static_cast<pid_t>(value);
}

std::optional<pid_t> readPidFile(const std::string& path) {
    // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
    UniqueFd fd{::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (!fd) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return std::nullopt;
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return std::nullopt;
    if (st.st_size < 0 || static_cast<std::size_t>(st.st_size) > kMaxPidFileBytes) return std::nullopt;

    std::string text;
    char buf[kMaxPidFileBytes + 1];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
        // The file may grow after fstat: never hold more than the limit.
        if (text.size() > kMaxPidFileBytes) return std::nullopt;
    }
    return parsePidText(text);
}

}  // namespace kg
