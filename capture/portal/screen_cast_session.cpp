#include "capture/portal/screen_cast_session.h"

#include <memory>
#include <string>

#include "capture/capture_error.h"
#include "capture/portal/screen_cast_portal.h"

namespace kg::capture {

namespace {

using Clock = std::chrono::steady_clock;

// CreateSession with SelectSources, and Start: either may wait for a person to choose.
constexpr auto kChoiceTimeout = std::chrono::seconds(60);

const std::string kDenied = "screen capture permission denied";

// The calling thread's default main context while set up, so that libportal attaches its
// replies and signal handlers there.
class ThreadDefaultContext {
public:
    explicit ThreadDefaultContext(GMainContext* context) : context_(context) {
        g_main_context_push_thread_default(context_);
    }
    ~ThreadDefaultContext() { g_main_context_pop_thread_default(context_); }
    ThreadDefaultContext(const ThreadDefaultContext&) = delete;
    ThreadDefaultContext& operator=(const ThreadDefaultContext&) = delete;

private:
    GMainContext* context_;
};

// One asynchronous libportal call. Its callback may come after a time-out gave up on it (or
// never), so the state lives on the heap, shared with the callback.
struct PendingCall {
    bool done = false;
    GObjectPtr<GAsyncResult> result;
};

void onCallReady(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::shared_ptr<PendingCall>> pending(static_cast<std::shared_ptr<PendingCall>*>(data));
    (*pending)->result.reset(G_ASYNC_RESULT(g_object_ref(result)));
    (*pending)->done = true;
}

gpointer callbackData(const std::shared_ptr<PendingCall>& pending) { return new std::shared_ptr<PendingCall>(pending); }

gboolean wakeUp(gpointer) { return G_SOURCE_REMOVE; }

// Iterates `context` until the call is done or the time is up; false on time-out.
bool await(GMainContext* context, const PendingCall& call, Clock::time_point deadline) {
    while (!call.done) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        GSource* timer = g_timeout_source_new(static_cast<guint>(left.count()));
        g_source_set_callback(timer, wakeUp, nullptr, nullptr);
        g_source_attach(timer, context);
        g_main_context_iteration(context, TRUE);
        g_source_destroy(timer);
        g_source_unref(timer);
    }
    return true;
}

std::string timeoutMessage(const char* step) {
    return std::string("screen capture unavailable: the screen-cast portal did not answer ") + step + " within " +
           std::to_string(std::chrono::seconds(kChoiceTimeout).count()) + " s";
}

// A failed step: the person's refusal, or the portal's failure.
CaptureError stepError(const char* step, const GError* error) {
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) return CaptureError(kDenied);
    return CaptureError(std::string("screen capture unavailable: ") + step + " failed (" + error->message + ")");
}

XdpCursorMode cursorMode(std::uint32_t offered) {
    if (offered & XDP_CURSOR_MODE_EMBEDDED) return XDP_CURSOR_MODE_EMBEDDED;
    if (offered & XDP_CURSOR_MODE_HIDDEN) return XDP_CURSOR_MODE_HIDDEN;
    return XDP_CURSOR_MODE_EMBEDDED;  // a portal before version 2 lists no modes and ignores the option
}

std::vector<CastStream> castStreams(GVariant* streams) {
    std::vector<CastStream> out;
    if (!streams || !g_variant_is_of_type(streams, G_VARIANT_TYPE("a(ua{sv})"))) return out;
    GVariantIter iter;
    g_variant_iter_init(&iter, streams);
    guint32 node = 0;
    GVariant* rawProperties = nullptr;
    while (g_variant_iter_next(&iter, "(u@a{sv})", &node, &rawProperties)) {
        GVariantPtr properties(rawProperties);
        CastStream stream;
        stream.nodeId = node;
        stream.hasPosition = g_variant_lookup(properties.get(), "position", "(ii)", &stream.x, &stream.y);
        stream.hasSize = g_variant_lookup(properties.get(), "size", "(ii)", &stream.width, &stream.height);
        out.push_back(stream);
    }
    return out;
}

}  // namespace

ScreenCastSession::ScreenCastSession(const RestoreTokenStore& tokens) : context_(g_main_context_new()) {
    ThreadDefaultContext useContext(context_.get());
    bus_ = connectSessionBus();
    const ScreenCastOffer offer = queryScreenCast(bus_.get());
    portal_.reset(xdp_portal_new());

    const std::optional<std::string> presented = tokens.load();
    auto created = std::make_shared<PendingCall>();
    GObjectPtr<GCancellable> cancelCreate(g_cancellable_new());
    xdp_portal_create_screencast_session(portal_.get(), XDP_OUTPUT_MONITOR, XDP_SCREENCAST_FLAG_NONE,
                                         cursorMode(offer.cursorModes), XDP_PERSIST_MODE_PERSISTENT,
                                         presented ? presented->c_str() : nullptr, cancelCreate.get(), onCallReady,
                                         callbackData(created));
    if (!await(context_.get(), *created, Clock::now() + kChoiceTimeout)) {
        g_cancellable_cancel(cancelCreate.get());
        throw CaptureError(timeoutMessage("SelectSources"));
    }
    GErrorOut createError;
    session_.reset(xdp_portal_create_screencast_session_finish(portal_.get(), created->result.get(), createError.out()));
    if (!session_) throw stepError("SelectSources", createError.get());

    auto started = std::make_shared<PendingCall>();
    GObjectPtr<GCancellable> cancelStart(g_cancellable_new());
    xdp_session_start(session_.get(), nullptr, cancelStart.get(), onCallReady, callbackData(started));
    if (!await(context_.get(), *started, Clock::now() + kChoiceTimeout)) {
        g_cancellable_cancel(cancelStart.get());
        throw CaptureError(timeoutMessage("Start"));
    }
    GErrorOut startError;
    if (!xdp_session_start_finish(session_.get(), started->result.get(), startError.out()))
        throw stepError("Start", startError.get());
    try {
        takeStartedSession(tokens, presented);
    } catch (...) {
        close();
        throw;
    }
}

void ScreenCastSession::takeStartedSession(const RestoreTokenStore& tokens, const std::optional<std::string>& presented) {
    // The portal hands out a new token with every start; a start that returns none for the
    // token presented means the portal would not keep this permission.
    GCharPtr token(xdp_session_get_restore_token(session_.get()));
    if (token && *token)
        tokens.save(token.get());
    else if (presented)
        tokens.discard();

    streams_ = castStreams(xdp_session_get_streams(session_.get()));
    if (streams_.empty()) throw CaptureError("screen capture unavailable: the screen-cast portal shared no stream");
    // Some portals report every monitor at 0, 0; what the permission names tells them apart.
    if (token && *token && streams_.size() == 1)
        streams_.front().outputName = permittedOutputName(bus_.get(), token.get()).value_or("");
    // A method call without a dialog, bounded by D-Bus's reply time-out (25 s).
    remote_ = UniqueFd(xdp_session_open_pipewire_remote(session_.get()));
    if (!remote_) throw CaptureError("screen capture unavailable: the screen-cast portal gave no PipeWire connection");
}

ScreenCastSession::~ScreenCastSession() { close(); }

void ScreenCastSession::close() {
    if (session_ && xdp_session_get_session_state(session_.get()) == XDP_SESSION_ACTIVE) {
        xdp_session_close(session_.get());
        // The close is queued on the shared connection; make sure it leaves before we let go.
        g_dbus_connection_flush_sync(bus_.get(), nullptr, nullptr);
    }
}

}  // namespace kg::capture
