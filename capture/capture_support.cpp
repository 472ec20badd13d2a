#include "capture/capture_support.h"

#include "capture/capture_error.h"
#include "capture/x11_display.h"

namespace kg::capture {

std::optional<std::string> captureUnavailableReason() {
    try {
        X11Display display;
        return display.missingForCapture();
    } catch (const CaptureError& error) {
        return std::string(error.what());
    }
}

}  // namespace kg::capture
