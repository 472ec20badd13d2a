#pragma once
// One screen-cast session of the portal, through libportal: CreateSession → SelectSources
// (a monitor, the cursor drawn in when the portal offers that, persist until revoked) → Start
// → OpenPipeWireRemote. A stored restore token is presented, so that a person who approved
// once is not asked again; the new token the portal hands back replaces it.
//
// libportal is driven on a GLib main context of this object's own, iterated on the calling
// thread only while a step is awaited; every step has a time-out.
//
// Threads: construction and destruction on one thread at a time.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <libportal/portal.h>

#include "capture/portal/cast_stream.h"
#include "capture/portal/glib_handles.h"
#include "capture/portal/restore_token_store.h"
#include "platform/unique_fd.h"

namespace kg::capture {

class ScreenCastSession {
public:
    // Runs the whole hand-shake. Throws CaptureError: "screen capture unavailable: ..." (no
    // portal, no ScreenCast, a step that fails or does not answer in time), "screen capture
    // permission denied" (the person declined).
    explicit ScreenCastSession(const RestoreTokenStore& tokens);
    // Closes the session: the portal stops the cast.
    ~ScreenCastSession();
    ScreenCastSession(const ScreenCastSession&) = delete;
    ScreenCastSession& operator=(const ScreenCastSession&) = delete;

    [[nodiscard]] const std::vector<CastStream>& streams() const { return streams_; }
    // The connection to PipeWire that shows this session's streams; once.
    [[nodiscard]] UniqueFd takePipeWireRemote() { return std::move(remote_); }

private:
    void takeStartedSession(const RestoreTokenStore& tokens, const std::optional<std::string>& presented);
    void close();

    GMainContextPtr context_;
    GObjectPtr<GDBusConnection> bus_;
    GObjectPtr<XdpPortal> portal_;
    GObjectPtr<XdpSession> session_;
    std::vector<CastStream> streams_;
    UniqueFd remote_;
};

}  // namespace kg::capture
