#include "overlay/recording_overlay.h"

#include "platform/desktop_session.h"

namespace kg {

RecordingOverlay::~RecordingOverlay() { close(); }

void RecordingOverlay::show(const Rect& region) {
    region_ = region;
    // Where the recording cannot leave this window out, the handles go outside the region.
    placement_ = DesktopSession::current().canExcludeOwnWindowsFromCapture()
                     ? overlay::HandlePlacement::overRegionCorners
                     : overlay::HandlePlacement::outsideRegion;
    const Rect frame = overlay::windowFrameForRegion(region, overlayMainScreenHeight(), placement_);

    auto window = std::make_unique<Window>(frame, kWindowStyleBorderless, kBackingStoreBuffered,
                                           false);
    window->setOpaque(false);
    window->setBackgroundColor(Color::clear());
    window->setLevel(kScreenSaverWindowLevel);
    window->setHasShadow(false);
    window->setReleasedWhenClosed(false);
    window->setCollectionBehavior(kCollectionCanJoinAllSpaces | kCollectionStationary |
                                  kCollectionFullScreenAuxiliary);
    window->setIgnoresMouseEvents(false);
    // Only the drawn frame exists on screen and only the band takes presses, with or without
    // a compositing manager (X shapes where there is none).
    window->setTransparencyMode(TransparencyMode::ShapedToDrawing);

    auto view = std::make_shared<RecordingOverlayView>(
        Rect{0, 0, frame.width, frame.height}, this, placement_);
    view->setWantsLayer(true);
    window->setContentView(view);
    window->orderFront();

    close();  // a previous window, if show() is called twice
    window_ = std::move(window);
    view_ = std::move(view);
}

std::vector<std::uint32_t> RecordingOverlay::windowIDs() const {
    if (!window_) return {};
    const std::int64_t number = window_->windowNumber();
    if (number <= 0 || number > UINT32_MAX) return {};
    return {static_cast<std::uint32_t>(number)};
}

void RecordingOverlay::close() {
    if (view_) view_->setOwner(nullptr);
    if (window_) {
        window_->orderOut();
        window_->close();
    }
    window_.reset();
    view_.reset();
}

void RecordingOverlay::dragTick(const Rect& newRegion) {
    region_ = newRegion;
    if (auto delegate = delegate_.lock()) {
        delegate->overlayRegionIsChangingTo(*this, newRegion);
    }
}

}  // namespace kg
