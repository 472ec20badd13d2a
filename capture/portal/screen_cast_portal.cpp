#include "capture/portal/screen_cast_portal.h"

#include "capture/capture_error.h"
#include "capture/portal/quiet_libraries.h"

namespace kg::capture {

namespace {

constexpr int kPropertyTimeoutMs = 5000;

std::string describe(const GError* error) {
    GError* copy = g_error_copy(error);
    g_dbus_error_strip_remote_error(copy);
    std::string text = copy->message;
    g_error_free(copy);
    return text;
}

std::uint32_t uintProperty(GVariant* properties, const char* name) {
    guint32 value = 0;
    if (!g_variant_lookup(properties, name, "u", &value)) return 0;
    return value;
}

}  // namespace

GObjectPtr<GDBusConnection> connectSessionBus() {
    quietDesktopLibraries();
    GErrorOut error;
    GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.out()));
    if (!bus) throw CaptureError("screen capture unavailable: no D-Bus session bus (" + describe(error.get()) + ")");
    g_dbus_connection_set_exit_on_close(bus.get(), FALSE);
    return bus;
}

ScreenCastOffer queryScreenCast(GDBusConnection* bus) {
    GErrorOut error;
    GVariantPtr reply(g_dbus_connection_call_sync(
        bus, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop", "org.freedesktop.DBus.Properties",
        "GetAll", g_variant_new("(s)", "org.freedesktop.portal.ScreenCast"), G_VARIANT_TYPE("(a{sv})"),
        G_DBUS_CALL_FLAGS_NONE, kPropertyTimeoutMs, nullptr, error.out()));
    if (!reply)
        throw CaptureError("screen capture unavailable: no screen-cast portal on the session bus (" +
                           describe(error.get()) + ")");
    GVariantPtr properties(g_variant_get_child_value(reply.get(), 0));
    ScreenCastOffer offer{uintProperty(properties.get(), "version"), uintProperty(properties.get(), "AvailableCursorModes"),
                          uintProperty(properties.get(), "AvailableSourceTypes")};
    if (offer.version == 0)
        throw CaptureError("screen capture unavailable: the desktop portal has no ScreenCast interface");
    if ((offer.sourceTypes & 1) == 0)
        throw CaptureError("screen capture unavailable: the screen-cast portal cannot share a monitor");
    return offer;
}

std::optional<std::string> permittedOutputName(GDBusConnection* bus, const std::string& restoreToken) {
    GVariantPtr reply(g_dbus_connection_call_sync(
        bus, "org.freedesktop.impl.portal.PermissionStore", "/org/freedesktop/impl/portal/PermissionStore",
        "org.freedesktop.impl.portal.PermissionStore", "Lookup", g_variant_new("(ss)", "screencast", restoreToken.c_str()),
        G_VARIANT_TYPE("(a{sas}v)"), G_DBUS_CALL_FLAGS_NONE, kPropertyTimeoutMs, nullptr, nullptr));
    if (!reply) return std::nullopt;
    // The data is (provider, version, backend data); the wlroots backend keeps {"output_name": s}.
    GVariantPtr boxed(g_variant_get_child_value(reply.get(), 1));
    GVariantPtr data(g_variant_get_variant(boxed.get()));
    if (!g_variant_is_of_type(data.get(), G_VARIANT_TYPE("(suv)"))) return std::nullopt;
    GVariantPtr backendBoxed(g_variant_get_child_value(data.get(), 2));
    GVariantPtr backend(g_variant_get_variant(backendBoxed.get()));
    const gchar* name = nullptr;
    if (!g_variant_is_of_type(backend.get(), G_VARIANT_TYPE_VARDICT) ||
        !g_variant_lookup(backend.get(), "output_name", "&s", &name) || !name || !*name)
        return std::nullopt;
    return std::string(name);
}

std::optional<std::string> screenCastUnavailableReason() {
    try {
        (void)queryScreenCast(connectSessionBus().get());
        return std::nullopt;
    } catch (const CaptureError& error) {
        return std::string(error.what());
    }
}

}  // namespace kg::capture
