// LD_PRELOAD library for xdg-desktop-portal-wlr in the test desktop only.
//
// The portal (0.7) refuses to screencast unless wlr_screencopy announces a DMA-BUF format for
// each frame, which a compositor on the software renderer never does. This library wraps the
// listener of every zwlr_screencopy_frame_v1 (version >= 3) so that each `buffer` event (a
// wl_shm format) is followed by a `linux_dmabuf` event naming the same format as a DRM fourcc.
// With no zwp_linux_dmabuf_v1 global the portal then negotiates shared-memory buffers, which
// is what a machine without a GPU needs. On a machine with a GPU the stock portal works as is.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stddef.h>
#include <string.h>
#include <wayland-client-core.h>

// zwlr_screencopy_frame_v1's events in protocol order (version 3).
struct frame_listener {
    void (*buffer)(void*, struct wl_proxy*, uint32_t format, uint32_t width, uint32_t height, uint32_t stride);
    void (*flags)(void*, struct wl_proxy*, uint32_t);
    void (*ready)(void*, struct wl_proxy*, uint32_t, uint32_t, uint32_t);
    void (*failed)(void*, struct wl_proxy*);
    void (*damage)(void*, struct wl_proxy*, uint32_t, uint32_t, uint32_t, uint32_t);
    void (*linux_dmabuf)(void*, struct wl_proxy*, uint32_t format, uint32_t width, uint32_t height);
    void (*buffer_done)(void*, struct wl_proxy*);
};

// One per distinct original listener (the portal has one, static); `wrapped` comes first so
// wl_proxy_get_listener() leads back to the original.
struct wrapped_listener {
    struct frame_listener wrapped;
    const struct frame_listener* original;
};

static uint32_t drm_fourcc(uint32_t shm_format) {
    if (shm_format == 0) return 0x34325241;  // 'AR24' ARGB8888
    if (shm_format == 1) return 0x34325258;  // 'XR24' XRGB8888
    return shm_format;                       // other wl_shm codes are the DRM fourcc itself
}

static void on_buffer(void* data, struct wl_proxy* frame, uint32_t format, uint32_t width, uint32_t height,
                      uint32_t stride) {
    const struct wrapped_listener* self = (const struct wrapped_listener*)wl_proxy_get_listener(frame);
    self->original->buffer(data, frame, format, width, height, stride);
    if (self->original->linux_dmabuf) self->original->linux_dmabuf(data, frame, drm_fourcc(format), width, height);
}

int wl_proxy_add_listener(struct wl_proxy* proxy, void (**implementation)(void), void* data) {
    static int (*real)(struct wl_proxy*, void (**)(void), void*);
    if (!real) real = (int (*)(struct wl_proxy*, void (**)(void), void*))dlsym(RTLD_NEXT, "wl_proxy_add_listener");
    if (strcmp(wl_proxy_get_class(proxy), "zwlr_screencopy_frame_v1") != 0 || wl_proxy_get_version(proxy) < 3)
        return real(proxy, implementation, data);
    // The portal's threads all run one Wayland event loop, so the table needs no lock.
    static struct wrapped_listener table[8];
    const struct frame_listener* original = (const struct frame_listener*)implementation;
    for (size_t i = 0; i < sizeof table / sizeof table[0]; ++i) {
        struct wrapped_listener* self = &table[i];
        if (!self->original) {
            self->original = original;
            self->wrapped = *original;
            self->wrapped.buffer = on_buffer;
        }
        if (self->original == original) return real(proxy, (void (**)(void))&self->wrapped, data);
    }
    return real(proxy, implementation, data);
}
