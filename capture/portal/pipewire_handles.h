#pragma once
// Owning handles for PipeWire objects: one type per kind, each released exactly once.

#include <pipewire/pipewire.h>

#include <memory>

namespace kg::capture {

struct PwThreadLoopDestroy {
    void operator()(pw_thread_loop* loop) const { pw_thread_loop_destroy(loop); }
};
using PwThreadLoopPtr = std::unique_ptr<pw_thread_loop, PwThreadLoopDestroy>;

struct PwContextDestroy {
    void operator()(pw_context* context) const { pw_context_destroy(context); }
};
using PwContextPtr = std::unique_ptr<pw_context, PwContextDestroy>;

struct PwCoreDisconnect {
    void operator()(pw_core* core) const { pw_core_disconnect(core); }
};
using PwCorePtr = std::unique_ptr<pw_core, PwCoreDisconnect>;

struct PwStreamDestroy {
    void operator()(pw_stream* stream) const { pw_stream_destroy(stream); }
};
using PwStreamPtr = std::unique_ptr<pw_stream, PwStreamDestroy>;

struct PwRegistryDestroy {
    void operator()(pw_registry* registry) const { pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry)); }
};
using PwRegistryPtr = std::unique_ptr<pw_registry, PwRegistryDestroy>;

// The loop's thread, started by start() and stopped (joined) when the owner goes. Declared
// after everything the loop's callbacks touch, so that it ends before any of it is released.
class PwThreadLoopRunning {
public:
    PwThreadLoopRunning() = default;
    ~PwThreadLoopRunning() {
        if (loop_) pw_thread_loop_stop(loop_);
    }
    PwThreadLoopRunning(const PwThreadLoopRunning&) = delete;
    PwThreadLoopRunning& operator=(const PwThreadLoopRunning&) = delete;
    // False when the thread could not be started.
    bool start(pw_thread_loop* loop) {
        if (pw_thread_loop_start(loop) != 0) return false;
        loop_ = loop;
        return true;
    }

private:
    pw_thread_loop* loop_ = nullptr;
};

// A listener registration (spa_hook), removed when the owner goes.
class SpaHookOwner {
public:
    SpaHookOwner() { spa_zero(hook_); }
    ~SpaHookOwner() {
        if (hook_.link.next) spa_hook_remove(&hook_);
    }
    SpaHookOwner(const SpaHookOwner&) = delete;
    SpaHookOwner& operator=(const SpaHookOwner&) = delete;
    spa_hook* get() { return &hook_; }

private:
    spa_hook hook_;
};

}  // namespace kg::capture
