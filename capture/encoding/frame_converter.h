#pragma once
// Turns the source's BGRX pictures into the encoder's 4:2:0 frames of the recording's fixed
// size. A picture of that size is converted only where it changed: the frames handed out come
// from a small pool, and each remembers what changed since it last held the picture, so a
// small change on a large still screen costs its own size. A picture of another size (after a
// region change) is scaled, bilinear, whole.
//
// Threads: one thread at a time (the capture thread). The frames handed out may be read and
// released on any thread; a pool frame is written again only once every reference to it is gone.

#include <vector>

#include "capture/bgrx_image.h"
#include "capture/capture_geometry.h"
#include "capture/encoding/av_handles.h"

namespace kg::capture {

class FrameConverter {
public:
    FrameConverter(int frameWidth, int frameHeight);

    // A frame holding `source`. `dirty` (source pixels) lists where `source` may differ from
    // the previous call's; nullptr when it may differ anywhere. nullptr when memory ran out.
    [[nodiscard]] AvFramePtr convert(const BgrxView& source, const std::vector<PixelRect>* dirty);

private:
    struct Slot {
        AvFramePtr frame;
        bool wholeStale = true;
        std::vector<PixelRect> stale;  // frame pixels, on the chroma grid
    };
    Slot* writableSlot();

    int frameWidth_;
    int frameHeight_;
    SwsContextPtr scaler_;
    std::vector<Slot> pool_;
};

}  // namespace kg::capture
