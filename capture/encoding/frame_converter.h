#pragma once
// Turns grabbed BGRX pixels into the encoder's 4:2:0 frames of the recording's fixed size,
// scaling when the grabbed rectangle has another size (after a region change).
//
// Threads: one thread at a time (the capture thread).

#include "capture/encoding/av_handles.h"
#include "capture/bgrx_image.h"

namespace kg::capture {

class FrameConverter {
public:
    FrameConverter(int frameWidth, int frameHeight);

    // A new frame holding `source`, or nullptr when memory ran out.
    [[nodiscard]] AvFramePtr convert(const BgrxView& source);

private:
    int frameWidth_;
    int frameHeight_;
    SwsContextPtr scaler_;
};

}  // namespace kg::capture
