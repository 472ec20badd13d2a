#pragma once
// The control bar's clock text. Pure, any thread.

#include <string>

namespace kg::controlbar {

// "MM:SS" for an elapsed time in seconds, truncated toward zero; minutes are at least two
// digits and never folded into hours (6000 s is "100:00"). A negative time (a clock that went
// backwards) shows "00:00".
[[nodiscard]] std::string elapsedLabelText(double elapsed_seconds);

}  // namespace kg::controlbar
