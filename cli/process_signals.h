#pragma once
// The signals this tool reads itself instead of letting them act: SIGUSR1 (stop a recording)
// and the termination signals SIGINT, SIGTERM and SIGHUP (finish the recording, or cancel a
// selection). They are blocked for the whole process before any thread exists, so every
// thread inherits the mask and a signal that arrives before its watcher exists stays pending
// until the watcher (a signalfd) reads it.

#include <array>
#include <csignal>

namespace kg {

inline constexpr std::array<int, 3> kTerminationSignals = {SIGINT, SIGTERM, SIGHUP};

// Blocks SIGUSR1 and the termination signals in the calling thread; call first thing in
// `main`, on the only thread. A child forked afterwards (by any library) gets the mask the
// process started with back, less these signals (the launcher blocked them before this
// program started), so a program it runs can still be stopped. Once per process.
void blockProcessSignals();
// Gives the termination signals their default action back, for a process that has no watcher
// for them (none could be made): better ended by them than deaf to them.
void unblockTerminationSignals();

}  // namespace kg
