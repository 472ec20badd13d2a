#pragma once
// Owning types for libpulse objects. A threaded main loop must be stopped before the context
// and streams that run on it are released; PulseCapture orders that.

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>

#include <memory>

namespace kg::capture::audio {

struct ThreadedMainloopDeleter {
    void operator()(pa_threaded_mainloop* loop) const { pa_threaded_mainloop_free(loop); }
};
struct ContextDeleter {
    void operator()(pa_context* context) const { pa_context_unref(context); }
};
struct StreamDeleter {
    void operator()(pa_stream* stream) const { pa_stream_unref(stream); }
};

using ThreadedMainloopPtr = std::unique_ptr<pa_threaded_mainloop, ThreadedMainloopDeleter>;
using ContextPtr = std::unique_ptr<pa_context, ContextDeleter>;
using StreamPtr = std::unique_ptr<pa_stream, StreamDeleter>;

// Holds the main loop's lock for a scope (the lock is recursive in libpulse).
class MainloopLock {
public:
    explicit MainloopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~MainloopLock() { pa_threaded_mainloop_unlock(loop_); }
    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

}  // namespace kg::capture::audio
