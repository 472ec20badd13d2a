#include "capture/portal/quiet_libraries.h"

#include <glib.h>
#include <pipewire/pipewire.h>
#include <wayland-client-core.h>

#include <cstdarg>
#include <mutex>

namespace kg::capture {

namespace {

void dropGlibMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

GLogWriterOutput dropGlibRecord(GLogLevelFlags, const GLogField*, gsize, gpointer) { return G_LOG_WRITER_HANDLED; }

void dropWaylandMessage(const char*, va_list) {}

}  // namespace

void quietDesktopLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_log_set_default_handler(dropGlibMessage, nullptr);
        g_log_set_writer_func(dropGlibRecord, nullptr, nullptr);
        wl_log_set_handler_client(dropWaylandMessage);
        // pw_init() reads PIPEWIRE_DEBUG; the level set afterwards wins, for PipeWire and for
        // the SPA plugins it loads.
        pw_init(nullptr, nullptr);
        pw_log_set_level(SPA_LOG_LEVEL_NONE);
    });
}

}  // namespace kg::capture
