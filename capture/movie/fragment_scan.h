#pragma once
// Where a fragmented MP4 that was cut short (a full disk, a write limit) can be cut back to so
// that it plays without a single decoding error. Any thread.

#include <cstdint>

namespace kg::capture {

// Walks the top-level boxes of the MP4 open on `fd` (read with pread, the file position is left
// alone) and returns the end of the last one that completes the file's header (ftyp, moov) or a
// fragment (a moof followed by its whole mdat). A box that runs past the end of the file, and a
// moof whose mdat is missing or torn, are not counted. 0 when not even the header is whole.
[[nodiscard]] std::int64_t endOfLastWholeFragment(int fd);

}  // namespace kg::capture
