#include "capture/portal/quiet_libraries.h"

#include <glib.h>
#include <pipewire/pipewire.h>
#include <wayland-client-core.h>

#include <cstdarg>
#include <cstdlib>
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
        // pw_init() logs at the level PIPEWIRE_DEBUG names while it loads its plugins. A
        // level given there is turned into "0" in place: setenv() could move the environment
        // under another thread's getenv().
        if (char* level = std::getenv("PIPEWIRE_DEBUG"); level && *level) {
            level[0] = '0';
            level[1] = '\0';
        }
        pw_init(nullptr, nullptr);
        pw_log_set_level(SPA_LOG_LEVEL_NONE);
    });
}

}  // namespace kg::capture
