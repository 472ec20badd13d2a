#include "capture/movie/fragment_scan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace kg::capture {
namespace {

std::uint64_t bigEndian(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 8) | bytes[i];
    return value;
}

}  // namespace

std::int64_t endOfLastWholeFragment(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return 0;
    const std::uint64_t fileEnd = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t offset = 0, wholeEnd = 0;
    bool headerWhole = false, fragmentOpen = false;
    for (;;) {
        unsigned char header[16];
        const ssize_t got = ::pread(fd, header, sizeof header, static_cast<off_t>(offset));
        if (got < 8) break;
        std::uint64_t size = bigEndian(header, 4);
        std::uint64_t headerSize = 8;
        if (size == 1) {  // a 64-bit size follows the type
            if (got < 16) break;
            size = bigEndian(header + 8, 8);
            headerSize = 16;
        }
        // Size 0 ("to the end of the file") is never written by a fragmenting muxer, so the
        // box cannot be known to be whole.
        if (size < headerSize || size > fileEnd - offset) break;
        offset += size;
        if (std::memcmp(header + 4, "moof", 4) == 0) {
            fragmentOpen = true;
        } else if (std::memcmp(header + 4, "mdat", 4) == 0) {
            if (fragmentOpen && headerWhole) wholeEnd = offset;
            fragmentOpen = false;
        } else if (std::memcmp(header + 4, "moov", 4) == 0) {
            headerWhole = true;
            wholeEnd = offset;
        } else if (!fragmentOpen && headerWhole) {
            wholeEnd = offset;  // a box between fragments (an index at the end, free space)
        }
    }
    return static_cast<std::int64_t>(wholeEnd);
}

}  // namespace kg::capture
