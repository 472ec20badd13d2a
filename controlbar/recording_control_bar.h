#pragma once
// The control bar: a small dark floating panel next to the recorded region with a Stop
// button, a disabled Pause button and the elapsed time, refreshed every half second.
//
// Main thread only, after Application::open(): every operation, the timer's refresh, the
// button actions and the callbacks they run. Regions are in region coordinates (y down from
// the main screen's top); screens and the panel's frame are global (y up).
//
// Lifetime: the bar owns its panel, controls and timer. Button actions and the timer hold the
// bar weakly (through a token the bar drops when destroyed), so a control or timer that
// outlives the bar does nothing.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "controlbar/control_bar_layout.h"
#include "platform/controls.h"
#include "platform/screen.h"
#include "platform/timer.h"
#include "platform/window.h"

namespace kg {

class RecordingControlBar {
public:
    // Run by handleStop() (the Stop button). Set before show().
    std::function<void()> onStop;
    // Run by handlePause() with the new paused state. The Pause button is disabled, so only a
    // direct call reaches it.
    std::function<void(bool)> onPauseToggle;

    RecordingControlBar();
    ~RecordingControlBar();  // closes
    RecordingControlBar(const RecordingControlBar&) = delete;
    RecordingControlBar& operator=(const RecordingControlBar&) = delete;

    // Builds the 200 x 40 panel next to `region` on `screen`, shows it without taking focus
    // and starts the clock.
    void show(const Rect& region, const Screen& screen);
    // Moves the panel next to `region`, keeping its size. Does nothing before show() or after
    // close().
    void reposition(const Rect& region, const Screen& screen);
    // Stops the clock and removes the panel. Idempotent.
    void close();

    // For a desktop whose recordings cannot leave the bar out; set before show(). The bar then
    // keeps clear of the region (controlbar::controlBarOriginOutside) and is hidden, clock
    // still running, while there is no room for it outside the region.
    void setKeepsClearOfRegion(bool keepsClear) { keepsClearOfRegion_ = keepsClear; }
    [[nodiscard]] bool isHiddenForLackOfRoom() const { return hiddenForLackOfRoom_; }

    // The panel; null before show() and after close(). Its windowNumber() is the id to leave
    // out of the recording.
    [[nodiscard]] Panel* window() const { return window_.get(); }

    // The button actions.
    void handleStop();
    void handlePause();
    [[nodiscard]] bool isPaused() const { return isPaused_; }

    // The controls, kept after close(); null before show().
    [[nodiscard]] Label* timerLabel() const { return timerLabel_.get(); }
    [[nodiscard]] Button* stopButton() const { return stopButton_.get(); }
    [[nodiscard]] Button* pauseButton() const { return pauseButton_.get(); }

private:
    using Clock = std::chrono::steady_clock;

    [[nodiscard]] std::shared_ptr<View> buildContentView(Size size);
    // Where a bar of `size` goes next to `region`; nullopt when it must stay hidden.
    [[nodiscard]] std::optional<Point> placeFor(const Rect& region, Size size, const Screen& screen) const;
    void updateTimer();
    // A callable that runs `action` on this bar while the bar exists.
    [[nodiscard]] std::function<void()> weakly(void (RecordingControlBar::*action)());

    std::unique_ptr<Panel> window_;
    std::shared_ptr<Label> timerLabel_;
    std::shared_ptr<Button> stopButton_;
    std::shared_ptr<Button> pauseButton_;
    std::optional<Clock::time_point> startTime_;
    double accumulatedPausedTime_seconds_ = 0;  // no pause accounting yet: always 0
    std::optional<Clock::time_point> pauseBeganAt_;  // never set yet
    bool isPaused_ = false;
    bool keepsClearOfRegion_ = false;
    bool hiddenForLackOfRoom_ = false;
    std::unique_ptr<Timer> timer_;
    std::shared_ptr<RecordingControlBar*> lifeToken_;
};

}  // namespace kg
