#pragma once
// Owning handles for the GLib objects the screen-cast portal code holds: one type per kind,
// each released exactly once on every path.

#include <gio/gio.h>
#include <glib-object.h>
#include <glib.h>

#include <memory>

namespace kg::capture {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
// Any GObject subclass (XdpPortal, XdpSession, GDBusConnection, GCancellable, ...).
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GVariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
using GVariantPtr = std::unique_ptr<GVariant, GVariantUnref>;

struct GMainContextUnref {
    void operator()(GMainContext* context) const { g_main_context_unref(context); }
};
using GMainContextPtr = std::unique_ptr<GMainContext, GMainContextUnref>;

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<char, GFree>;

// The GError a call may fill: `GErrorOut error; f(..., error.out()); if (error) ...`.
class GErrorOut {
public:
    GError** out() { return &raw_; }
    [[nodiscard]] explicit operator bool() const { return raw_ != nullptr; }
    [[nodiscard]] const GError* get() const { return raw_; }
    GErrorOut() = default;
    ~GErrorOut() {
        if (raw_) g_error_free(raw_);
    }
    GErrorOut(const GErrorOut&) = delete;
    GErrorOut& operator=(const GErrorOut&) = delete;

private:
    GError* raw_ = nullptr;
};

}  // namespace kg::capture
