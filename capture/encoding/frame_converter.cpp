#include "capture/encoding/frame_converter.h"

#include <cstdint>
#include <limits>

#include "capture/encoding/bgrx_to_yuv.h"

namespace kg::capture {

namespace {
// Beyond this many pending rectangles a frame is converted whole: cheaper than tracking them.
constexpr std::size_t kMaxStale = 64;
}  // namespace

FrameConverter::FrameConverter(int frameWidth, int frameHeight) : frameWidth_(frameWidth), frameHeight_(frameHeight) {}

// The encoder holds at most its queue's frames and the one it encodes, so the pool stays small.
// Of the frames it has released, the one with the least to catch up on.
FrameConverter::Slot* FrameConverter::writableSlot() {
    Slot* best = nullptr;
    auto backlog = [](const Slot& slot) {
        std::int64_t area = 0;
        for (const PixelRect& r : slot.stale) area += r.width * r.height;
        return slot.wholeStale ? std::numeric_limits<std::int64_t>::max() : area;
    };
    for (Slot& slot : pool_)
        if (av_frame_is_writable(slot.frame.get()) && (!best || backlog(slot) < backlog(*best))) best = &slot;
    if (best) return best;
    AvFramePtr frame(av_frame_alloc());
    if (!frame) return nullptr;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = frameWidth_;
    frame->height = frameHeight_;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
    pool_.push_back(Slot{std::move(frame), true, {}});
    return &pool_.back();
}

AvFramePtr FrameConverter::convert(const BgrxView& source, const std::vector<PixelRect>* dirty) {
    const bool sameSize = source.width == frameWidth_ && source.height == frameHeight_;
    for (Slot& slot : pool_) {
        if (!sameSize || !dirty || slot.wholeStale || slot.stale.size() + dirty->size() > kMaxStale) {
            slot.wholeStale = true;
            slot.stale.clear();
            continue;
        }
        for (const PixelRect& r : *dirty) {
            const PixelRect aligned = alignedToChroma(r, frameWidth_, frameHeight_);
            if (!aligned.empty()) slot.stale.push_back(aligned);
        }
    }
    Slot* slot = writableSlot();
    if (!slot) return nullptr;
    AVFrame& frame = *slot->frame;
    if (!sameSize) {
        // Another size: bilinear, which keeps text readable without the cost of sharper filters.
        scaler_.reset(sws_getCachedContext(scaler_.release(), source.width, source.height, AV_PIX_FMT_BGR0, frameWidth_,
                                           frameHeight_, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!scaler_) return nullptr;
        const std::uint8_t* planes[1] = {source.data};
        const int strides[1] = {static_cast<int>(source.stride)};
        sws_scale(scaler_.get(), planes, strides, 0, source.height, frame.data, frame.linesize);
    } else {
        const YuvPlanes planes{{frame.data[0], frame.data[1], frame.data[2]},
                               {frame.linesize[0], frame.linesize[1], frame.linesize[2]}};
        if (slot->wholeStale) {
            convertBgrxToYuv(source, {0, 0, frameWidth_, frameHeight_}, planes);
        } else {
            for (const PixelRect& r : slot->stale) convertBgrxToYuv(source, r, planes);
        }
    }
    // A scaled picture leaves every pool frame stale; a converted one is now this frame's.
    slot->wholeStale = !sameSize;
    slot->stale.clear();
    AvFramePtr handed(av_frame_clone(&frame));
    return handed;
}

}  // namespace kg::capture
