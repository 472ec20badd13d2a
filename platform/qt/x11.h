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
// The toolkit's connection to the X server has broken (the server ended). Any thread.
[[nodiscard]] bool connectionLost();
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

// Asks compositing managers to draw no shadow and run no closing animation for the window:
// _COMPTON_SHADOW 0 (picom and its forerunners), empty _GTK_FRAME_EXTENTS (mutter, and the
// usual shadow-exclude rule of picom configurations), _KDE_NET_WM_SKIP_CLOSE_ANIMATION (KWin).
// The window keeps no _KDE_NET_WM_SHADOW, so KWin draws none either. Set before mapping.
void setNoShadowHints(std::uint32_t window);

// A window manager runs: the root's _NET_SUPPORTING_WM_CHECK names a live window, or the
// WM_Sn selection of the default screen has an owner.
[[nodiscard]] bool hasWindowManager();
// The keyboard focus as the server reports it: a window (the root included), or
// kFocusNone / kFocusPointerRoot (the focus follows the pointer: a bare server's default).
inline constexpr std::uint32_t kFocusNone = 0;
inline constexpr std::uint32_t kFocusPointerRoot = 1;
[[nodiscard]] std::uint32_t inputFocus();
// Gives the focus back as inputFocus() reported it; a window that is no longer viewable
// gives way to kFocusPointerRoot, which is also where the focus goes when it closes later.
void restoreInputFocus(std::uint32_t focus);

// The root's children from bottom to top that are mapped (top-level windows in stacking order).
[[nodiscard]] std::vector<std::uint32_t> mappedTopLevelWindows();
// Whether this process's own connection created the window (our windows, tool tips included).
[[nodiscard]] bool createdHere(std::uint32_t window);
// Raises the windows, in this order, to the top of the stack.
void raise(const std::vector<std::uint32_t>& windows);
// Adds SubstructureNotify to this client's event mask on the root window (keeping the rest),
// so MapNotify and ConfigureNotify of every top-level window reach the toolkit's connection.
// Returns false when the mask already had it (the toolkit asked for those events itself).
bool watchTopLevelWindows();
[[nodiscard]] std::uint32_t rootWindow();

}  // namespace kg::x11
