#pragma once
// Direct X11 requests on the toolkit's own connection, for what Qt does not offer: shapes,
// the compositing-manager test, root-window snapshots and round trips. Main thread only. Every
// function is a no-op (or answers the neutral value) on a platform other than xcb.

#include <QImage>
#include <QRect>
#include <cstdint>
#include <vector>

#include "platform/mask_runs.h"

namespace kg::x11 {

[[nodiscard]] bool available();
// A compositing manager owns the _NET_WM_CM_Sn selection of the default screen.
[[nodiscard]] bool hasCompositingManager();
// Waits until the server has processed every request sent so far.
void sync();
// The root window's pixels in `desktopRect` (device pixels), opaque; null image on failure.
[[nodiscard]] QImage grabRoot(const QRect& desktopRect);
// Sets the window's bounding or input shape to the rectangles (window pixels, y down).
enum class ShapeKind { Bounding, Input };
void setShape(std::uint32_t window, ShapeKind kind, const std::vector<PixelRect>& rects);
// Removes a shape set before (the window is rectangular again).
void clearShape(std::uint32_t window, ShapeKind kind);

}  // namespace kg::x11
