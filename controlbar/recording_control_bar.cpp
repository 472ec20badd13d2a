#include "controlbar/recording_control_bar.h"

#include "controlbar/elapsed_label.h"
#include "controlbar/rounded_view.h"

namespace kg {

namespace {

constexpr double kRefreshInterval_seconds = 0.5;
const char* const kStopTitle = "\u23F9";   // BLACK SQUARE FOR STOP
const char* const kPauseTitle = "\u23F8";  // DOUBLE VERTICAL BAR
constexpr Color kFill = Color::rgba(0.07, 0.07, 0.11, 0.92);
constexpr Color kBorder = Color::rgba(0.16, 0.16, 0.24, 1.0);
constexpr Color kPauseTint = Color::white(0.4, 1.0);
constexpr Color kClockColor = Color::rgba(1.0, 0.55, 0.26, 1.0);

// H of the placement rule: the main screen's height, or the given screen's without one.
double placementHeight(const Screen& screen) {
    const auto main = Screen::mainScreen();
    return main ? main->frame().height : screen.frame().height;
}

}  // namespace

RecordingControlBar::RecordingControlBar()
    : lifeToken_(std::make_shared<RecordingControlBar*>(this)) {}

RecordingControlBar::~RecordingControlBar() {
    lifeToken_.reset();
    close();
}

std::function<void()> RecordingControlBar::weakly(void (RecordingControlBar::*action)()) {
    return [token = std::weak_ptr<RecordingControlBar*>(lifeToken_), action] {
        if (auto bar = token.lock()) ((*bar)->*action)();
    };
}

std::optional<Point> RecordingControlBar::placeFor(const Rect& region, Size size, const Screen& screen) const {
    const double H = placementHeight(screen);
    if (keepsClearOfRegion_) return controlbar::controlBarOriginOutside(region, size, screen.frame(), H);
    return controlbar::controlBarOrigin(region, size, screen.frame(), H);
}

void RecordingControlBar::show(const Rect& region, const Screen& screen) {
    const Size size = controlbar::kBarSize;
    const auto place = placeFor(region, size, screen);
    const Point origin = place.value_or(Point{screen.frame().x, screen.frame().y});

    auto panel = std::make_unique<Panel>(Rect{origin.x, origin.y, size.width, size.height},
                                         kWindowStyleNonactivatingPanel, kBackingStoreBuffered,
                                         false);
    panel->setFloatingPanel(true);
    panel->setLevel(kScreenSaverWindowLevel);
    panel->setHasShadow(true);
    panel->setOpaque(false);
    panel->setBackgroundColor(Color::clear());
    panel->setCollectionBehavior(kCollectionCanJoinAllSpaces | kCollectionStationary |
                                 kCollectionFullScreenAuxiliary);
    panel->setHidesOnDeactivate(false);
    panel->setBecomesKeyOnlyIfNeeded(true);
    // The corners outside the rounded rectangle stay see-through even without a compositing
    // manager (the panel is then shaped to what is drawn).
    panel->setTransparencyMode(TransparencyMode::ShapedToDrawing);
    panel->setContentView(buildContentView(size));
    hiddenForLackOfRoom_ = !place;
    if (place) panel->orderFront();

    close();  // a previous panel and timer, if show() is called twice
    window_ = std::move(panel);
    startTime_ = Clock::now();
    timer_ = Timer::scheduledRepeating(kRefreshInterval_seconds,
                                       weakly(&RecordingControlBar::updateTimer));
    updateTimer();
}

std::shared_ptr<View> RecordingControlBar::buildContentView(Size size) {
    const auto layout = controlbar::controlBarContentLayout(size);

    auto background = std::make_shared<controlbar::RoundedView>(Rect{0, 0, size.width, size.height});
    background->setWantsLayer(true);
    background->fillColor = kFill;
    background->cornerRadius = controlbar::kCornerRadius;
    background->borderColor = kBorder;
    background->borderWidth = controlbar::kBackgroundBorderWidth;

    stopButton_ = std::make_shared<Button>(kStopTitle, weakly(&RecordingControlBar::handleStop));
    stopButton_->setFont(Font::system(14, FontWeight::Bold));
    stopButton_->setBezelStyle(2);
    stopButton_->setBordered(false);
    stopButton_->setContentTintColor(kRecordingRed);
    stopButton_->setFrame(layout.stopButton);
    stopButton_->setToolTip("Stop recording");
    background->addSubview(stopButton_);

    pauseButton_ =
        std::make_shared<Button>(kPauseTitle, weakly(&RecordingControlBar::handlePause));
    pauseButton_->setFont(Font::system(14, FontWeight::Bold));
    pauseButton_->setBezelStyle(2);
    pauseButton_->setBordered(false);
    pauseButton_->setContentTintColor(kPauseTint);
    pauseButton_->setFrame(layout.pauseButton);
    pauseButton_->setToolTip("Pause recording (coming soon)");
    pauseButton_->setEnabled(false);
    background->addSubview(pauseButton_);

    timerLabel_ = std::make_shared<Label>("00:00");
    timerLabel_->setFont(Font::monospacedDigitSystem(14, FontWeight::Medium));
    timerLabel_->setTextColor(kClockColor);
    timerLabel_->setAlignment(TextAlignment::Center);
    timerLabel_->setBackgroundColor(Color::clear());
    timerLabel_->setBordered(false);
    timerLabel_->setFrame(layout.timerLabel);
    background->addSubview(timerLabel_);

    return background;
}

void RecordingControlBar::updateTimer() {
    if (!startTime_) return;
    const double elapsed_seconds =
        std::chrono::duration<double>(Clock::now() - *startTime_).count() -
        accumulatedPausedTime_seconds_;
    if (!timerLabel_) return;
    const std::string text = controlbar::elapsedLabelText(elapsed_seconds);
    if (text != timerLabel_->stringValue()) timerLabel_->setStringValue(text);
}

void RecordingControlBar::reposition(const Rect& region, const Screen& screen) {
    if (!window_) return;
    const auto place = placeFor(region, window_->frame().size(), screen);
    if (!place) {
        if (!hiddenForLackOfRoom_) window_->orderOut();
        hiddenForLackOfRoom_ = true;
        return;
    }
    window_->setFrameOrigin(*place);
    if (hiddenForLackOfRoom_) window_->orderFront();
    hiddenForLackOfRoom_ = false;
}

void RecordingControlBar::close() {
    if (timer_) {
        timer_->invalidate();
        timer_.reset();
    }
    if (window_) {
        window_->orderOut();
        window_->close();
    }
    window_.reset();
}

void RecordingControlBar::handleStop() {
    if (onStop) onStop();
}

void RecordingControlBar::handlePause() {
    isPaused_ = !isPaused_;
    if (onPauseToggle) onPauseToggle(isPaused_);
}

}  // namespace kg
