#include "selector/region_overlay_window.h"

namespace kg {

namespace {
constexpr unsigned kCollectionBehavior = kCollectionCanJoinAllSpaces | kCollectionFullScreenAuxiliary;
}

RegionOverlayWindow::RegionOverlayWindow(const Screen& screen, RegionSelectorDelegate* appDelegate)
    : Window(screen.frame(), kWindowStyleBorderless, kBackingStoreBuffered, false),
      selectorView_(std::make_shared<RegionSelectorView>(screen.frame(), appDelegate)) {
    const Rect f = screen.frame();
    setOpaque(false);
    setHasShadow(false);
    setBackgroundColor(Color::clear());
    setLevel(kScreenSaverWindowLevel);
    setCollectionBehavior(kCollectionBehavior);
    setMovable(false);
    setReleasedWhenClosed(false);
    // Without a compositing manager the dimming is drawn over a picture of the display taken
    // before the window appears, so it looks the same.
    setTransparencyMode(TransparencyMode::SnapshotBackdrop);
    setContentView(selectorView_);
    setFrame(f, true);
    makeKeyAndOrderFront();
    setAcceptsMouseMovedEvents(true);
}

}  // namespace kg
