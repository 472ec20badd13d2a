#include "capture/encoding/frame_converter.h"

namespace kg::capture {

FrameConverter::FrameConverter(int frameWidth, int frameHeight) : frameWidth_(frameWidth), frameHeight_(frameHeight) {}

AvFramePtr FrameConverter::convert(const BgrxView& source) {
    const bool sameSize = source.width == frameWidth_ && source.height == frameHeight_;
    // Same size: a plain colour conversion. Another size: bilinear, which keeps text readable
    // without the cost of the sharper filters.
    const int flags = sameSize ? SWS_POINT : SWS_BILINEAR;
    scaler_.reset(sws_getCachedContext(scaler_.release(), source.width, source.height, AV_PIX_FMT_BGR0, frameWidth_,
                                       frameHeight_, AV_PIX_FMT_YUV420P, flags, nullptr, nullptr, nullptr));
    if (!scaler_) return nullptr;
    AvFramePtr frame(av_frame_alloc());
    if (!frame) return nullptr;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = frameWidth_;
    frame->height = frameHeight_;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
    const std::uint8_t* planes[1] = {source.data};
    const int strides[1] = {static_cast<int>(source.stride)};
    sws_scale(scaler_.get(), planes, strides, 0, source.height, frame->data, frame->linesize);
    return frame;
}

}  // namespace kg::capture
