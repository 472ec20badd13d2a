#pragma once
// `RecordingDelegate`: the report of a failure of the file recording while capture runs. The
// capture keeps running after it; the caller still stops the recording and prints the final
// result as usual.

#include <atomic>
#include <string>

namespace kg::capture {

class RecordingDelegate {
public:
    // Prints {"error": "recording failed: <reason>"} the first time it is called and nothing
    // afterwards. Any thread. Touches no other engine state.
    void recordingDidFail(const std::string& reason);
    [[nodiscard]] bool failed() const { return failed_.load(); }

private:
    std::atomic<bool> failed_{false};
};

}  // namespace kg::capture
