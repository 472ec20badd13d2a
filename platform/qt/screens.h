#pragma once
// The main screen's rectangle in desktop space (Qt's logical pixels, y down), the reference
// of every global/desktop conversion; all zero when there is no display. Main thread only.

#include "platform/geometry.h"

namespace kg {
[[nodiscard]] Rect mainScreenDesktopRect();
}  // namespace kg
