#pragma once
// Owning types for xcb objects. Replies and errors are malloc'ed by xcb and freed with free().

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace kg::capture {

struct XcbFree {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, XcbFree>;

struct XcbConnectionDeleter {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using XcbConnectionPtr = std::unique_ptr<xcb_connection_t, XcbConnectionDeleter>;

// Waits for the reply of `cookie`; nullptr on an X error (the error is freed).
template <typename Reply, typename Cookie, typename Fn>
XcbReply<Reply> xcbReply(xcb_connection_t* c, Fn replyFn, Cookie cookie) {
    xcb_generic_error_t* error = nullptr;
    XcbReply<Reply> reply(replyFn(c, cookie, &error));
    std::free(error);
    return reply;
}

}  // namespace kg::capture
