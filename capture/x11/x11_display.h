#pragma once
// One connection to the X server named by DISPLAY, with what the capture can use of it.
//
// Threads: the object may be handed between threads, but only one thread uses it at a time
// (the creating thread during set-up, then the capture thread).

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <string>

#include "capture/x11/xcb_handles.h"

namespace kg::capture {

struct ExtensionInfo {
    bool present = false;
    std::uint8_t firstEvent = 0;
};

class X11Display {
public:
    // Throws CaptureError when no X server can be reached at DISPLAY.
    X11Display();

    [[nodiscard]] xcb_connection_t* connection() const { return connection_.get(); }
    [[nodiscard]] xcb_screen_t* screen() const { return screen_; }
    [[nodiscard]] xcb_window_t root() const { return screen_->root; }
    [[nodiscard]] std::int64_t width() const { return screen_->width_in_pixels; }
    [[nodiscard]] std::int64_t height() const { return screen_->height_in_pixels; }

    // Extensions, each set up (versions negotiated) when present.
    ExtensionInfo shm;
    ExtensionInfo xfixes;    // cursor image and cursor change events
    ExtensionInfo damage;    // change notification
    ExtensionInfo composite; // contents of covered windows
    ExtensionInfo randr;     // monitors (version 1.5 or later)
    ExtensionInfo shape;     // our windows' drawn pixels

    // What is missing for capture at all, or nullopt: a screen whose pixels are 32-bit
    // little-endian BGRX, and the XFIXES and Composite extensions.
    [[nodiscard]] std::optional<std::string> missingForCapture() const;

    // Whether a compositing manager paints the screen (it owns _NET_WM_CM_S<screen>): then
    // translucent windows are blended and effects drawn by it, not by the server. Two round
    // trips.
    [[nodiscard]] bool compositingManagerRuns() const;

private:
    XcbConnectionPtr connection_;
    xcb_screen_t* screen_ = nullptr;
    int screenNumber_ = 0;
};

}  // namespace kg::capture
