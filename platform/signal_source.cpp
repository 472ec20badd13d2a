#include "platform/signal_source.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <signal.h>
#include <stdexcept>
#include <string>

#include "platform/unique_fd.h"

namespace kg {

struct SignalSource::Impl {
    UniqueFd fd;
    std::unique_ptr<QSocketNotifier> notifier;
    std::function<void()> handler;
};

SignalSource::SignalSource(int signal_number, std::function<void()> handler)
    : impl_(std::make_unique<Impl>()) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal_number);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    impl_->fd.reset(signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!impl_->fd) {
        throw std::runtime_error("cannot watch signal " + std::to_string(signal_number) + ": " +
                                 std::strerror(errno));
    }
    impl_->handler = std::move(handler);
    impl_->notifier = std::make_unique<QSocketNotifier>(impl_->fd.get(), QSocketNotifier::Read);
    Impl* impl = impl_.get();
    QObject::connect(impl_->notifier.get(), &QSocketNotifier::activated, [impl] {
        signalfd_siginfo info;
        int delivered = 0;
        while (::read(impl->fd.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) ++delivered;
        // Standard signals do not queue: several deliveries since the last read are one event.
        if (delivered == 0) return;
        auto handler = impl->handler;  // copied: the handler may destroy this source
        if (handler) handler();
    });
}

SignalSource::~SignalSource() {
    // The source may be destroyed from its own handler, inside the notifier's signal.
    impl_->notifier->setEnabled(false);
    impl_->notifier.release()->deleteLater();
}

}  // namespace kg
