#include "capture/recording_delegate.h"

#include "cli/result_printer.h"

namespace kg::capture {

void RecordingDelegate::recordingDidFail(const std::string& reason) {
    if (failed_.exchange(true)) return;
    printResult(errorResult("recording failed: " + reason));
}

}  // namespace kg::capture
