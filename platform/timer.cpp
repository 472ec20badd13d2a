#include "platform/timer.h"

#include <QTimer>
#include <algorithm>
#include <limits>

namespace kg {

struct Timer::Impl {
    QTimer* timer = nullptr;  // deleted later, so a timer may be invalidated from its action
    std::function<void()> action;
};

namespace {
std::unique_ptr<Timer::Impl> makeImpl(double seconds, std::function<void()> action, bool once) {
    auto impl = std::make_unique<Timer::Impl>();
    impl->action = std::move(action);
    impl->timer = new QTimer();
    impl->timer->setSingleShot(once);
    impl->timer->setTimerType(Qt::PreciseTimer);
    // Clamped to what the toolkit's millisecond interval holds (about 24.8 days); NaN is 0.
    const double ms = std::min(std::max(0.0, seconds) * 1000.0 + 0.5,
                               double(std::numeric_limits<int>::max()));
    impl->timer->setInterval(static_cast<int>(ms));
    Timer::Impl* raw = impl.get();
    QObject::connect(impl->timer, &QTimer::timeout, [raw] {
        // Copied, so the action may invalidate (but not destroy) its own timer.
        auto action = raw->action;
        if (action) action();
    });
    impl->timer->start();
    return impl;
}
}  // namespace

Timer::Timer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<Timer> Timer::scheduledRepeating(double interval_seconds, std::function<void()> action) {
    return std::unique_ptr<Timer>(new Timer(makeImpl(interval_seconds, std::move(action), false)));
}

std::unique_ptr<Timer> Timer::scheduledOnce(double interval_seconds, std::function<void()> action) {
    return std::unique_ptr<Timer>(new Timer(makeImpl(interval_seconds, std::move(action), true)));
}

Timer::~Timer() {
    invalidate();
}

void Timer::invalidate() {
    if (!impl_->timer) return;
    impl_->timer->stop();
    impl_->timer->disconnect();
    impl_->timer->deleteLater();
    impl_->timer = nullptr;
    impl_->action = nullptr;
}

bool Timer::isValid() const { return impl_->timer != nullptr && impl_->timer->isActive(); }

}  // namespace kg
