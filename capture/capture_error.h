#pragma once
#include <stdexcept>

namespace kg::capture {

// A set-up failure of the capture engine; what() is the text printed under "error".
class CaptureError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace kg::capture
