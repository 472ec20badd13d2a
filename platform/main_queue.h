#pragma once
// The main queue: work handed to the thread that runs the event loop. Background threads post
// callables here instead of touching UI objects or main-thread-only state themselves.
//
// A MainQueue is a function that enqueues a callable to run later on the main thread, in
// order, and returns at once. Callable from any thread. The Qt implementation lives in
// platform/application.h; tests without a toolkit use a plain thread with a queue.

#include <functional>

namespace kg {

using MainTask = std::function<void()>;
using MainQueue = std::function<void(MainTask)>;

}  // namespace kg
