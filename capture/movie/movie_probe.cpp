#include "capture/movie/movie_probe.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "capture/encoding/av_handles.h"
#include "capture/capture_error.h"

namespace kg::capture {

double movieDurationSeconds(const std::string& path) {
    silenceFfmpegLog();
    AVFormatContext* raw = nullptr;
    const int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (rc < 0) throw CaptureError("cannot read " + path + ": " + avErrorText(rc));
    AvInputContextPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        throw CaptureError("cannot read " + path + ": not a movie libavformat can read");
    // The demuxer sums the samples of every fragment; its figure includes the last frame's
    // full duration, which the packet timing it hands out does not.
    double end = input->duration != AV_NOPTS_VALUE ? static_cast<double>(input->duration) / AV_TIME_BASE
                                                   : std::numeric_limits<double>::quiet_NaN();
    if (!std::isfinite(end))
        throw CaptureError("cannot read the duration of " + path + ": the movie has no length that can be measured");
    return end;
}

}  // namespace kg::capture
