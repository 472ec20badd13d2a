#include "cli/process_signals.h"

#include <pthread.h>

namespace kg {

namespace {

sigset_t gMaskAtStart;  // for children: without our signals

// Runs in the child after fork(), where only async-signal-safe calls are allowed.
void restoreMaskInChild() { pthread_sigmask(SIG_SETMASK, &gMaskAtStart, nullptr); }

}  // namespace

void blockProcessSignals() {
    sigset_t ours;
    sigemptyset(&ours);
    sigaddset(&ours, SIGUSR1);
    for (const int signo : kTerminationSignals) sigaddset(&ours, signo);
    pthread_sigmask(SIG_BLOCK, &ours, &gMaskAtStart);
    sigdelset(&gMaskAtStart, SIGUSR1);
    for (const int signo : kTerminationSignals) sigdelset(&gMaskAtStart, signo);
    pthread_atfork(nullptr, nullptr, restoreMaskInChild);
}

void unblockTerminationSignals() {
    sigset_t termination;
    sigemptyset(&termination);
    for (const int signo : kTerminationSignals) sigaddset(&termination, signo);
    pthread_sigmask(SIG_UNBLOCK, &termination, nullptr);
}

}  // namespace kg
