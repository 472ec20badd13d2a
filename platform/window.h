#pragma once
// Top-level windows and panels.
//
// Main thread only, after Application::open(). Frames are in global space: points, y up,
// origin at the lower-left corner of the main screen (screen_space.h). Windows here are
// borderless: the content rectangle is the frame, and the content view fills it with bounds
// (0, 0, width, height).
//
// Ownership: the creator owns the Window (by value, unique_ptr or as a base class); it holds
// its content view. Destroying a Window takes it off the screen.

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/drawing.h"
#include "platform/geometry.h"
#include "platform/screen.h"
#include "platform/view.h"

namespace kg {

// Style mask bits callers pass.
inline constexpr unsigned kWindowStyleBorderless = 0;
inline constexpr unsigned kWindowStyleNonactivatingPanel = 128;
// Backing store: always buffered here; the value is accepted for the callers' sake.
inline constexpr int kBackingStoreBuffered = 2;
// Levels. At kScreenSaverWindowLevel and above the window is placed above every other window,
// panels and docks included, without window-manager decoration or taskbar entry (X11:
// override-redirect, raised when shown).
inline constexpr int kNormalWindowLevel = 0;
inline constexpr int kFloatingWindowLevel = 3;
inline constexpr int kScreenSaverWindowLevel = 1000;
// Collection behaviour bits: 1 all desktops, 16 stationary, 256 beside full-screen windows.
// On X11 a window above everything is on every desktop already; stored for callers to read.
inline constexpr unsigned kCollectionCanJoinAllSpaces = 1;
inline constexpr unsigned kCollectionStationary = 16;
inline constexpr unsigned kCollectionFullScreenAuxiliary = 256;

// How a window with see-through parts looks on an X server with and without a compositing
// manager. With one, alpha blends with what lies below in every mode.
enum class TransparencyMode {
    // Translucent pixels need a compositing manager; without one they show as if opaque
    // (premultiplied, so a clear pixel looks black).
    Plain,
    // Without a compositing manager the window takes a picture of the screen under its frame
    // just before it is first shown, and every redraw starts from that picture instead of full
    // transparency; CompositingOperation::Clear restores the picture. For windows that cover
    // what they dim (the region selector): looks the same as with a compositing manager as
    // long as the screen below does not change.
    SnapshotBackdrop,
    // Only what the views draw exists: after every redraw the window's X shape is set to its
    // pixels with alpha above 0 (on X11, compositing manager or not: the capture leaves out
    // just that shape; under Wayland alpha alone does it), and its input shape to the points
    // where the content view's hitTest answers a view, so presses elsewhere reach the window
    // below. On X11 the input is further limited to the drawn pixels (the X server clips input
    // to the visible shape).
    ShapedToDrawing,
};

class Window {
public:
    // contentRect in global space. styleMask: kWindowStyleBorderless or
    // kWindowStyleNonactivatingPanel (a panel: never takes keyboard focus when shown or
    // clicked). The window is created hidden.
    Window(const Rect& contentRect, unsigned styleMask, int backing = kBackingStoreBuffered,
           bool defer = false);
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // --- Appearance and behaviour (set before showing; later changes apply on next show) --
    void setOpaque(bool opaque);
    void setBackgroundColor(const Color& color);  // clear: each redraw starts transparent
    void setLevel(int level);
    [[nodiscard]] int level() const;
    void setCollectionBehavior(unsigned behavior);
    [[nodiscard]] unsigned collectionBehavior() const;
    void setHasShadow(bool) {}  // X11 windows get no shadow from us; accepted and ignored
    void setIgnoresMouseEvents(bool ignores);  // true: every press reaches the window below
    void setMovable(bool) {}                   // borderless windows move only by setFrame
    void setReleasedWhenClosed(bool) {}        // ownership is the creator's, always
    void setAcceptsMouseMovedEvents(bool) {}   // pointer motion is always tracked (cursors)
    void setFloatingPanel(bool floating);      // panel above normal windows
    void setHidesOnDeactivate(bool) {}         // accessory applications never hide windows
    void setBecomesKeyOnlyIfNeeded(bool) {}    // panels never take focus here
    void setTransparencyMode(TransparencyMode mode);
    [[nodiscard]] TransparencyMode transparencyMode() const;

    // --- Content ------------------------------------------------------------------------
    // The view is resized to fill the content area: frame (0, 0, width, height).
    void setContentView(std::shared_ptr<View> view);
    [[nodiscard]] View* contentView() const;

    // --- Frame --------------------------------------------------------------------------
    [[nodiscard]] Rect frame() const;  // global, y up
    // Moves and resizes; the content view follows. `display` redraws at once when true
    // (otherwise with the next redraw). Fractional values pass through (the X server rounds).
    void setFrame(const Rect& frame, bool display);
    void setFrameOrigin(Point origin);
    // A rectangle in window coordinates to global space (adds the frame's origin).
    [[nodiscard]] Rect convertRectToScreen(const Rect& rectInWindow) const;
    // A point in global space to window coordinates.
    [[nodiscard]] Point convertPointFromScreen(Point global) const;
    // The display that holds the window's centre (or most of it); nullopt off every display.
    [[nodiscard]] std::optional<Screen> screen() const;

    // --- Ordering -----------------------------------------------------------------------
    // Shows the window in front of its level without giving it keyboard focus.
    void orderFront();
    // Shows it in front and makes it the key window: it receives key presses. A window at
    // kScreenSaverWindowLevel or above, which no window manager focuses, grabs the keyboard
    // while it is the key window and visible.
    void makeKeyAndOrderFront();
    // Hides the window (it keeps its state and can be shown again).
    void orderOut();
    // Hides the window for good; it may still be destroyed later by its owner.
    void close();
    [[nodiscard]] bool isVisible() const;
    [[nodiscard]] bool isKeyWindow() const;

    // The X11 window id while the window exists on the server (from the first orderFront /
    // makeKeyAndOrderFront on), else 0. The capture engine leaves windows out by this id.
    [[nodiscard]] std::int64_t windowNumber() const;

    // Redraws now, synchronously, if a redraw is pending.
    void display();

    // --- Used by views and the windowing layer ------------------------------------------
    void setNeedsDisplayForView();
    void invalidateCursorRects();
    struct Impl;
    [[nodiscard]] Impl& impl() const { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace kg

namespace kg {
// A panel is a window created with kWindowStyleNonactivatingPanel; same operations.
using Panel = Window;
}  // namespace kg
