#pragma once
// Displays, as the X server's RandR monitors report them through the toolkit.
//
// Main thread only, after Application::open(). Frames are in global space (see
// screen_space.h): points, y up, origin at the lower-left corner of the main screen. The main
// screen is the primary output, always first in screens(); every conversion between global
// and region coordinates uses its frame height.

#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "platform/geometry.h"

namespace kg {

class Screen {
public:
    // All displays, main screen first, then in the order the X server lists them. Empty when
    // the server reports no monitor.
    [[nodiscard]] static std::vector<Screen> screens();
    // The main screen (the primary output), or nullopt when there is no display.
    [[nodiscard]] static std::optional<Screen> mainScreen();

    // The display's rectangle in global points, y up.
    [[nodiscard]] const Rect& frame() const { return frame_; }
    // The output name the server gives (for example "screen" on Xvfb, "DP-1" on hardware).
    [[nodiscard]] const std::string& name() const { return name_; }
    // Device pixels per point.
    [[nodiscard]] double backingScaleFactor() const { return scale_; }

    // Two screens are the same display when name and frame agree.
    friend bool operator==(const Screen& a, const Screen& b) {
        return a.name_ == b.name_ && a.frame_ == b.frame_;
    }

    Screen(std::string name, Rect frame, double scale)
        : name_(std::move(name)), frame_(frame), scale_(scale) {}

private:
    std::string name_;
    Rect frame_;
    double scale_ = 1;
};

}  // namespace kg
