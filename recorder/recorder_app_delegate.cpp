#include "recorder/recorder_app_delegate.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <future>

#include "capture/source/video_source_factory.h"
#include "capture/screen_recorder.h"
#include "cli/result_printer.h"
#include "controlbar/recording_control_bar.h"
#include "platform/desktop_session.h"
#include "platform/screen.h"
#include "platform/window.h"

namespace kg {

RecorderAppDelegate::RecorderAppDelegate(std::optional<Rect> region, std::string audioMode, std::string outputPath,
                                         std::int64_t maxSeconds, MainQueue mainQueue)
    : region_(region),
      audioMode_(std::move(audioMode)),
      outputPath_(std::move(outputPath)),
      maxSeconds_(maxSeconds),
      mainQueue_(std::move(mainQueue)) {}

RecorderAppDelegate::~RecorderAppDelegate() {
    // Only reached if the event loop returns without finish(); never leave a joinable thread.
    if (recordingTask_.joinable()) recordingTask_.detach();
}

void RecorderAppDelegate::applicationDidFinishLaunching() {
    // The screen as it is before our windows appear: the capture learns from it what they
    // will cover (a compositing manager's shadows on the wallpaper included), so their first
    // places are right in the recording once they move away.
    std::shared_ptr<const capture::ScreenSnapshot> screenBefore;
    if (region_) screenBefore = capture::snapshotScreen();
    if (region_) {
        overlay_ = std::make_unique<RecordingOverlay>();
        overlay_->setDelegate(weak_from_this());
        overlay_->show(*region_);
        if (const auto mainScreen = Screen::mainScreen()) {
            auto bar = std::make_unique<RecordingControlBar>();
            bar->setKeepsClearOfRegion(!DesktopSession::current().canExcludeOwnWindowsFromCapture());
            bar->onStop = [weak = weak_from_this()] {
                if (const auto self = weak.lock()) self->stopAction();
            };
            bar->show(*region_, *mainScreen);
            controlBar_ = std::move(bar);
        }
    }
    // Window numbers are read here, on the main thread, once both windows are on the screen.
    recordingTask_ = std::thread([self = shared_from_this(), excluded = collectExcludedWindowIDs(),
                                  screenBefore = std::move(screenBefore)]() mutable {
        self->runRecording(std::move(excluded), std::move(screenBefore));
    });
}

std::vector<std::uint32_t> RecorderAppDelegate::collectExcludedWindowIDs() const {
    std::vector<std::uint32_t> ids;
    if (overlay_) ids = overlay_->windowIDs();
    if (controlBar_ && controlBar_->window()) {
        const std::int64_t number = controlBar_->window()->windowNumber();
        if (number > 0) ids.push_back(static_cast<std::uint32_t>(number));
    }
    return ids;
}

void RecorderAppDelegate::stopAction() {
    // A press before the engine exists does nothing; a later press stops the recording.
    if (activeRecorder_) activeRecorder_->triggerStop();
}

void RecorderAppDelegate::terminationSignalReceived(int signo) {
    if (++terminationSignals_ >= 2) {
        // The user insists: end now, the way the signal would have without us.
        std::signal(signo, SIG_DFL);
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, signo);
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        std::raise(signo);
        return;
    }
    if (activeRecorder_) {
        activeRecorder_->triggerStop();
    } else {
        stopRequestedEarly_ = true;
    }
}

void RecorderAppDelegate::warnIfControlBarHidden() {
    if (warnedOfHiddenBar_ || !controlBar_ || !controlBar_->isHiddenForLackOfRoom()) return;
    warnedOfHiddenBar_ = true;
    printResult(warnResult("control bar hidden: no room for it outside the region on this screen; "
                           "stop with the stop command, a signal or --max-seconds"));
}

void RecorderAppDelegate::overlayRegionIsChangingTo(RecordingOverlay&, const Rect& region) {
    if (controlBar_) {
        if (const auto mainScreen = Screen::mainScreen()) controlBar_->reposition(region, *mainScreen);
    }
    if (!activeRecorder_) return;
    warnIfControlBarHidden();
    if (!DesktopSession::current().canExcludeOwnWindowsFromCapture()) followDragStep(region);
}

void RecorderAppDelegate::followDragStep(const Rect& region) {
    // Where our windows are in the picture, the capture follows every step of a drag, or the
    // frame would be recorded crossing the old rectangle. The screen shows the frame's new
    // place a little late (later on a busy machine), so the capture keeps to what lies inside
    // every place the frame left during the last kDragShownLate_seconds, and takes the new one
    // once the drag has rested that long. The engine only takes the rectangle here; a step it
    // refuses is left to the commit, which reports it.
    const auto apply = [engine = activeRecorder_](const Rect& r) {
        try {
            engine->updateRegion(r);
        } catch (const std::exception&) {
        }
    };
    const auto now = std::chrono::steady_clock::now();
    if (recentDragSteps_.empty()) recentDragSteps_.emplace_back(now, region_.value_or(region));
    recentDragSteps_.back().first = now;  // the place shown so far is left now
    const auto shownLate = [&](const auto& step) {
        return now - step.first > std::chrono::duration<double>(kDragShownLate_seconds);
    };
    recentDragSteps_.erase(std::remove_if(recentDragSteps_.begin(), recentDragSteps_.end() - 1, shownLate),
                           recentDragSteps_.end() - 1);
    double left = region.x, top = region.y, right = region.maxX(), bottom = region.maxY();
    for (const auto& [when, r] : recentDragSteps_) {
        left = std::max(left, r.x), top = std::max(top, r.y);
        right = std::min(right, r.maxX()), bottom = std::min(bottom, r.maxY());
    }
    apply(right - left >= 2 && bottom - top >= 2 ? Rect{left, top, right - left, bottom - top} : region);
    recentDragSteps_.emplace_back(now, region);
    dragRest_ = Timer::scheduledOnce(kDragShownLate_seconds, [apply, region] { apply(region); });
}

void RecorderAppDelegate::overlayRegionDidCommitTo(RecordingOverlay& overlay, const Rect& region) {
    overlayRegionIsChangingTo(overlay, region);
    if (!activeRecorder_) return;  // before the engine exists the recording keeps the launch region
    if (DesktopSession::current().canExcludeOwnWindowsFromCapture()) {
        commitRegion(region);
    } else {  // once the frame's last place shows (followDragStep)
        dragRest_ = Timer::scheduledOnce(kDragShownLate_seconds, [weak = weak_from_this(), region] {
            if (const auto self = weak.lock()) self->commitRegion(region);
        });
    }
}

void RecorderAppDelegate::commitRegion(const Rect& region) {
    // Tasks that have ended are released, so a long recording with many drags does not pile
    // up finished threads.
    std::erase_if(regionUpdates_, [](const std::future<void>& update) {
        return update.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    regionUpdates_.push_back(std::async(std::launch::async, [engine = activeRecorder_, region] {
        try {
            engine->updateRegion(region);
        } catch (const std::exception& e) {
            printResult(warnResult(std::string("updateConfiguration failed: ") + e.what()));
        }
    }));
}

void RecorderAppDelegate::publish(std::shared_ptr<capture::ScreenRecorder> engine) {
    activeRecorder_ = std::move(engine);
    if (stopRequestedEarly_) activeRecorder_->triggerStop();
}

void RecorderAppDelegate::runRecording(std::vector<std::uint32_t> excludedWindowIDs,
                                       std::shared_ptr<const capture::ScreenSnapshot> screenBefore) {
    ResultObject finalObject;
    try {
        if (const auto missing = capture::captureUnavailableReason()) {
            finalObject = errorResult(*missing);
        } else {
            auto engine = capture::ScreenRecorder::create(region_, audioMode_, outputPath_, maxSeconds_,
                                                          std::move(excludedWindowIDs), mainQueue_,
                                                          std::move(screenBefore));
            // Hand the engine to the main thread and wait until it is stored there, so that
            // the Stop button, region commits and signals see it before capture begins.
            std::promise<void> stored;
            mainQueue_([self = shared_from_this(), engine, &stored] {
                self->publish(engine);
                stored.set_value();
            });
            stored.get_future().wait();

            engine->start();
            printResult({{"status", std::string("recording")}, {"output", outputPath_}});
            mainQueue_([self = shared_from_this()] { self->warnIfControlBarHidden(); });
            engine->waitForStop();
            finalObject = engine->stop();
        }
    } catch (const std::exception& e) {
        finalObject = errorResult(e.what());
    }
    finalObjectPromise_.set_value(finalObject);
    mainQueue_([self = shared_from_this(), finalObject] { self->finish(finalObject); });
}

void RecorderAppDelegate::applicationDidLoseDisplay() {
    // The capture does not depend on the toolkit's connection, so the file can still be
    // finished: the engine is told why and stopped, and the task is waited for right here.
    // Without an engine in place, the task may be waiting for the main queue, which never runs
    // again; only an outcome it already has is printed then.
    using namespace std::chrono_literals;
    if (activeRecorder_) {
        activeRecorder_->recordingDidFail(kDisplayLostReason);
        activeRecorder_->triggerStop();
    }
    const bool ended = finalObject_.wait_for(activeRecorder_ ? 10s : 0s) == std::future_status::ready;
    for (auto& update : regionUpdates_) update.wait();
    printResult(ended ? finalObject_.get() : errorResult(kDisplayLostReason));
}

void RecorderAppDelegate::finish(const ResultObject& finalObject) {
    if (recordingTask_.joinable()) recordingTask_.join();
    // Region updates still under way finish first, so that the final object is the last line.
    for (auto& update : regionUpdates_) update.wait();
    regionUpdates_.clear();
    if (controlBar_) {
        controlBar_->close();
        controlBar_.reset();
    }
    if (overlay_) {
        overlay_->close();
        overlay_.reset();
    }
    activeRecorder_.reset();
    printResult(finalObject);
    Application::shared().terminate();
}

}  // namespace kg
