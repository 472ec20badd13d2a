#pragma once
// `RecorderAppDelegate`: one `record` run. It owns the recording overlay, the control bar and
// the capture engine; shows the windows at launch, runs the recording task on a background
// thread, keeps the bar next to the region while the user moves the frame, hands committed
// regions to the engine, and at the end closes the windows, prints the final result object
// and ends the process.
//
// Threads: every member function except runRecording() runs on the main thread.
// runRecording() runs on the recording thread and reaches main-thread state only through the
// main queue. `activeRecorder_` is written and read on the main thread only: the recording
// thread hands the engine over through the main queue and waits until it is stored.

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/result_object.h"
#include "overlay/recording_overlay.h"
#include "platform/application.h"
#include "platform/geometry.h"
#include "platform/main_queue.h"
#include "platform/timer.h"

namespace kg {

class RecordingControlBar;
namespace capture {
class ScreenRecorder;
struct ScreenSnapshot;
}

class RecorderAppDelegate final : public ApplicationDelegate,
                                  public RecordingOverlayDelegate,
                                  public std::enable_shared_from_this<RecorderAppDelegate> {
public:
    RecorderAppDelegate(std::optional<Rect> region, std::string audioMode, std::string outputPath,
                        std::int64_t maxSeconds, MainQueue mainQueue);
    ~RecorderAppDelegate() override;

    void applicationDidFinishLaunching() override;
    // The display went away: the recording is finished without windows and the run ends with
    // a "recording failed" line and its final object.
    void applicationDidLoseDisplay() override;
    void overlayRegionIsChangingTo(RecordingOverlay& overlay, const Rect& region) override;
    void overlayRegionDidCommitTo(RecordingOverlay& overlay, const Rect& region) override;

    // SIGINT, SIGTERM or SIGHUP: the first one asks the recording to stop like SIGUSR1 (even
    // before the engine exists: the stop is then applied as soon as it does); a second one
    // ends the process at once by the signal's default action.
    void terminationSignalReceived(int signo);

private:
    void stopAction();
    // Says once per run, with a "warn" line, that the control bar is hidden for lack of room
    // outside the region (where the recording cannot leave it out). Main thread.
    void warnIfControlBarHidden();
    // On a desktop whose recordings show our windows: moves the capture along with a drag step.
    void followDragStep(const Rect& region);
    void runRecording(std::vector<std::uint32_t> excludedWindowIDs,
                      std::shared_ptr<const capture::ScreenSnapshot> screenBefore);
    // Main thread: stores the engine and applies a stop requested before it existed.
    void publish(std::shared_ptr<capture::ScreenRecorder> engine);
    void finish(const ResultObject& finalObject);
    [[nodiscard]] std::vector<std::uint32_t> collectExcludedWindowIDs() const;

    const std::optional<Rect> region_;
    const std::string audioMode_;
    const std::string outputPath_;
    const std::int64_t maxSeconds_;
    const MainQueue mainQueue_;

    std::unique_ptr<RecordingOverlay> overlay_;
    std::unique_ptr<RecordingControlBar> controlBar_;
    std::shared_ptr<capture::ScreenRecorder> activeRecorder_;
    bool stopRequestedEarly_ = false;
    bool warnedOfHiddenBar_ = false;
    // Hands a committed region to the engine on a task of its own; a failure is a warn line.
    void commitRegion(const Rect& region);
    static constexpr double kDragShownLate_seconds = 0.5;
    // The frame's places left during the last kDragShownLate_seconds, each with the time it was
    // left, then its current place; oldest first.
    std::vector<std::pair<std::chrono::steady_clock::time_point, Rect>> recentDragSteps_;
    std::unique_ptr<Timer> dragRest_;
    int terminationSignals_ = 0;
    std::thread recordingTask_;
    // The recording task's final object, set by it just before it hands it to finish(); read
    // on the main thread when the display is lost and finish() can no longer run.
    std::promise<ResultObject> finalObjectPromise_;
    std::shared_future<ResultObject> finalObject_ = finalObjectPromise_.get_future().share();
    // Region-update tasks still under way; finished ones are dropped at the next commit.
    std::vector<std::future<void>> regionUpdates_;
};

}  // namespace kg
