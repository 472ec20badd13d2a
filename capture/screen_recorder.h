#pragma once
// `ScreenRecorder`: one capture of one display rectangle into one H.264 MP4 file.
//
// Life of a recording: create() (set-up, nothing captured) → start() (the file is created and
// frames flow) → waitForStop() (returns once a stop was requested by SIGUSR1, by the
// maximum-duration timer or by triggerStop()) → stop() (the file is finished and measured).
// updateRegion() moves the captured rectangle at any time while recording.
//
// Coordinates: regions are in points, origin at the top-left corner of the first display (the
// primary RandR monitor), y down; they are used unchanged (not clipped: what lies outside the
// screen is black).
//
// Threads: create(), start(), updateRegion(), waitForStop() and stop() block and belong on
// background threads; triggerStop() is called on the main thread (the stop triggers post it to
// `mainQueue`). SIGUSR1 must be blocked in every thread of the process from its start.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_error.h"
#include "capture/capture_geometry.h"
#include "capture/recording_delegate.h"
#include "capture/stop_latch.h"
#include "cli/result_object.h"
#include "platform/geometry.h"
#include "platform/main_queue.h"

namespace kg::capture {

class AudioTrack;
class MovieWriter;
class FramePacer;
struct ScreenSnapshot;
class SignalSource;
class StopTimer;
class VideoEncoder;
class VideoSource;

class ScreenRecorder : public std::enable_shared_from_this<ScreenRecorder> {
public:
    // Opens the session's video source (the X server's first display, or the screen-cast
    // portal on Wayland), resolves the windows to leave out, sets up the frame size, encoder,
    // writer and sound. `screenBefore` (from snapshotScreen(), may be null) is the screen as it
    // was just before the windows to leave out were shown. Throws CaptureError ("No display
    // found", a region error, a missing X server, ...).
    static std::shared_ptr<ScreenRecorder> create(std::optional<kg::Rect> region, std::string audioMode,
                                                  std::string outputPath, std::int64_t maxSeconds,
                                                  std::vector<std::uint32_t> excludedWindowIDs, kg::MainQueue mainQueue,
                                                  std::shared_ptr<const ScreenSnapshot> screenBefore = nullptr);
    ~ScreenRecorder();
    ScreenRecorder(const ScreenRecorder&) = delete;
    ScreenRecorder& operator=(const ScreenRecorder&) = delete;

    // Creates the output file and starts capturing. Throws CaptureError ("cannot create
    // <path>: <reason>"). Once only.
    void start();

    // The next frame shows `region`, in the frame size fixed at creation (scaled when its
    // size differs). Throws CaptureError for a region that cannot be recorded; the capture then
    // goes on with the previous one. Quick.
    void updateRegion(const kg::Rect& region);

    // Waits until a stop is requested: SIGUSR1 (one pending from before the call included),
    // the `maxSeconds` timer, or triggerStop(). Returns at once when a stop was already
    // requested.
    void waitForStop();

    // Requests the stop; later calls do nothing. Main thread.
    void triggerStop();

    // Reports a failure that ends the capture from outside the engine (the display went
    // away) as the engine reports its own: one "recording failed" line at most. Any thread.
    void recordingDidFail(const std::string& reason) { delegate_.recordingDidFail(reason); }

    // Finishes the file and measures it: {"status": "done", "path", "size", "duration"}.
    // Throws CaptureError when the file cannot be measured.
    kg::ResultObject stop();

    [[nodiscard]] std::int64_t outputWidth() const { return geometry_.frameWidth; }
    [[nodiscard]] std::int64_t outputHeight() const { return geometry_.frameHeight; }
    // The top-level windows left out of the frames (for diagnostics and tests).
    [[nodiscard]] std::vector<std::uint32_t> excludedWindows() const;

private:
    ScreenRecorder(std::string outputPath, std::int64_t maxSeconds, kg::MainQueue mainQueue);

    std::string outputPath_;
    std::int64_t maxSeconds_;
    kg::MainQueue mainQueue_;
    FrameGeometry geometry_;
    RecordingDelegate delegate_;
    std::unique_ptr<MovieWriter> writer_;
    std::unique_ptr<VideoEncoder> encoder_;
    std::unique_ptr<VideoSource> source_;
    std::unique_ptr<FramePacer> pacer_;
    std::unique_ptr<AudioTrack> audio_;
    int videoStream_ = -1;
    std::int64_t epochNs_ = 0;
    bool started_ = false;
    bool finished_ = false;

    StopLatch stopLatch_;
    std::unique_ptr<SignalSource> signalSource_;  // waitForStop()'s thread only
    std::unique_ptr<StopTimer> timer_;            // waitForStop()'s thread only
};

}  // namespace kg::capture
