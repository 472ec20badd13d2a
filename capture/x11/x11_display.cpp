#include "capture/x11/x11_display.h"

#include <xcb/composite.h>
#include <xcb/damage.h>
#include <xcb/randr.h>
#include <xcb/shape.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

#include <cstdlib>

#include "capture/capture_error.h"

namespace kg::capture {

namespace {

ExtensionInfo lookUp(xcb_connection_t* c, xcb_extension_t* extension) {
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, extension);
    if (!data || !data->present) return {};
    return {true, data->first_event};
}

}  // namespace

X11Display::X11Display() {
    int screenNumber = 0;
    connection_.reset(xcb_connect(nullptr, &screenNumber));
    if (xcb_connection_has_error(connection_.get())) {
        const char* name = std::getenv("DISPLAY");
        throw CaptureError(std::string("cannot connect to the X server at DISPLAY=") + (name ? name : "(unset)"));
    }
    xcb_connection_t* c = connection_.get();
    auto it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) throw CaptureError("the X server at DISPLAY has no screen");
    screen_ = it.data;
    screenNumber_ = screenNumber;

    xcb_prefetch_extension_data(c, &xcb_shm_id);
    xcb_prefetch_extension_data(c, &xcb_xfixes_id);
    xcb_prefetch_extension_data(c, &xcb_damage_id);
    xcb_prefetch_extension_data(c, &xcb_composite_id);
    xcb_prefetch_extension_data(c, &xcb_randr_id);
    xcb_prefetch_extension_data(c, &xcb_shape_id);
    shm = lookUp(c, &xcb_shm_id);
    xfixes = lookUp(c, &xcb_xfixes_id);
    damage = lookUp(c, &xcb_damage_id);
    composite = lookUp(c, &xcb_composite_id);
    randr = lookUp(c, &xcb_randr_id);
    shape = lookUp(c, &xcb_shape_id);

    // XFIXES and DAMAGE refuse requests until the client has stated its version.
    if (xfixes.present) {
        auto r = xcbReply<xcb_xfixes_query_version_reply_t>(c, xcb_xfixes_query_version_reply,
                                                             xcb_xfixes_query_version(c, 4, 0));
        xfixes.present = r && r->major_version >= 2;
    }
    if (damage.present) {
        auto r = xcbReply<xcb_damage_query_version_reply_t>(c, xcb_damage_query_version_reply,
                                                             xcb_damage_query_version(c, 1, 1));
        damage.present = r != nullptr;
    }
    if (composite.present) {
        auto r = xcbReply<xcb_composite_query_version_reply_t>(c, xcb_composite_query_version_reply,
                                                                xcb_composite_query_version(c, 0, 4));
        composite.present = r && (r->major_version > 0 || r->minor_version >= 2);
    }
    if (randr.present) {
        auto r = xcbReply<xcb_randr_query_version_reply_t>(c, xcb_randr_query_version_reply,
                                                            xcb_randr_query_version(c, 1, 5));
        randr.present = r && (r->major_version > 1 || r->minor_version >= 5);
    }
    if (shm.present) {
        auto r = xcbReply<xcb_shm_query_version_reply_t>(c, xcb_shm_query_version_reply, xcb_shm_query_version(c));
        shm.present = r != nullptr;
    }
}

std::optional<std::string> X11Display::missingForCapture() const {
    const xcb_setup_t* setup = xcb_get_setup(connection_.get());
    bool bgrx = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == screen_->root_depth) bgrx = f.data->bits_per_pixel == 32;
    }
    if (!bgrx || (screen_->root_depth != 24 && screen_->root_depth != 32) ||
        setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return "the X screen does not use 32-bit pixels of depth 24 (depth " +
               std::to_string(screen_->root_depth) + ")";
    if (!xfixes.present) return "the X server lacks the XFIXES extension (version 2 or later), needed for the cursor";
    if (!composite.present)
        return "the X server lacks the Composite extension, needed to keep the recorder's own windows out of the "
               "recording";
    return std::nullopt;
}

bool X11Display::compositingManagerRuns() const {
    xcb_connection_t* c = connection_.get();
    const std::string name = "_NET_WM_CM_S" + std::to_string(screenNumber_);
    auto atom = xcbReply<xcb_intern_atom_reply_t>(
        c, xcb_intern_atom_reply, xcb_intern_atom(c, 1, static_cast<std::uint16_t>(name.size()), name.c_str()));
    if (!atom || atom->atom == XCB_NONE) return false;
    auto owner = xcbReply<xcb_get_selection_owner_reply_t>(c, xcb_get_selection_owner_reply,
                                                           xcb_get_selection_owner(c, atom->atom));
    return owner && owner->owner != XCB_NONE;
}

}  // namespace kg::capture
