#include "capture/signal_source.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture/capture_error.h"

namespace kg::capture {

SignalSource::SignalSource(std::vector<int> signals, std::function<void(int)> handler, MainQueue mainQueue)
    : shared_(std::make_shared<Shared>()), mainQueue_(std::move(mainQueue)) {
    shared_->handler = std::move(handler);
    sigset_t mask;
    sigemptyset(&mask);
    for (int signo : signals) sigaddset(&mask, signo);
    // Keeps this thread (and the watcher, which inherits the mask) from taking the signals
    // itself; the rest of the process must have blocked them already.
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    signalFd_.reset(::signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK));
    if (!signalFd_) throw CaptureError(std::string("cannot watch signals: ") + std::strerror(errno));
    wakeFd_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wakeFd_) throw CaptureError(std::string("cannot watch signals: ") + std::strerror(errno));
    watcher_ = std::thread([this] { watch(); });
}

SignalSource::~SignalSource() { cancel(); }

void SignalSource::cancel() {
    shared_->cancelled = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_.get(), &one, sizeof one);
    // Once cancel() returns the watcher is gone, so a signal sent afterwards stays pending for
    // whoever reads it next instead of being taken here and dropped.
    std::lock_guard lock(joinMutex_);
    if (watcher_.joinable()) watcher_.join();
}

void SignalSource::watch() {
    pollfd fds[2] = {{signalFd_.get(), POLLIN, 0}, {wakeFd_.get(), POLLIN, 0}};
    while (!shared_->cancelled) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        signalfd_siginfo info;
        while (!shared_->cancelled && ::read(signalFd_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            const int signo = static_cast<int>(info.ssi_signo);
            mainQueue_([shared = shared_, signo] {
                if (!shared->cancelled) shared->handler(signo);
            });
        }
    }
}

}  // namespace kg::capture
