// A pointer for the test desktop, which has no input devices: one zwlr_virtual_pointer_v1,
// kept for the client's whole life (a pointer created just before a command races with the
// clients binding it), driven by lines read from a FIFO:
//   move X Y W H   absolute move to (X, Y) in a layout box W x H (logical pixels, origin top left)
//   down BUTTON    press a Linux button code (272 = left)
//   up BUTTON      release it
// After each line has reached the compositor the client writes "ok" (or "error") on standard
// output; "ready" once the pointer exists.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include "virtual-pointer-unstable-v1-client-protocol.h"

static struct zwlr_virtual_pointer_manager_v1* manager;
static struct wl_seat* seat;

static void on_global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                      uint32_t version) {
    (void)data;
    (void)version;
    if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
    else if (strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
}

static void on_global_remove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener registry_listener = {on_global, on_global_remove};

static uint32_t now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

static int apply(struct zwlr_virtual_pointer_v1* pointer, const char* line) {
    unsigned x, y, w, h, button;
    if (sscanf(line, "move %u %u %u %u", &x, &y, &w, &h) == 4 && x <= w && y <= h) {
        zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), x, y, w, h);
    } else if (sscanf(line, "down %u", &button) == 1) {
        zwlr_virtual_pointer_v1_button(pointer, now_ms(), button, WL_POINTER_BUTTON_STATE_PRESSED);
    } else if (sscanf(line, "up %u", &button) == 1) {
        zwlr_virtual_pointer_v1_button(pointer, now_ms(), button, WL_POINTER_BUTTON_STATE_RELEASED);
    } else {
        return -1;
    }
    zwlr_virtual_pointer_v1_frame(pointer);
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s FIFO\n", argv[0]);
        return 2;
    }
    // Read and write, so the FIFO never reports end of file between two writers.
    const int fifo = open(argv[1], O_RDWR | O_CLOEXEC);
    struct wl_display* display = wl_display_connect(NULL);
    if (fifo < 0 || !display) {
        fprintf(stderr, "cannot open %s or the Wayland display\n", argv[1]);
        return 1;
    }
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, NULL);
    wl_display_roundtrip(display);
    if (!manager) {
        fprintf(stderr, "the compositor offers no zwlr_virtual_pointer_manager_v1\n");
        return 1;
    }
    struct zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    wl_display_roundtrip(display);
    setvbuf(stdout, NULL, _IOLBF, 0);
    puts("ready");

    char buffer[4096];
    size_t used = 0;
    for (;;) {
        struct pollfd fds[2] = {{fifo, POLLIN, 0}, {wl_display_get_fd(display), POLLIN, 0}};
        wl_display_flush(display);
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        if (fds[1].revents & POLLIN) {
            if (wl_display_dispatch(display) < 0) return 1;
        }
        if (fds[1].revents & (POLLHUP | POLLERR)) return 1;
        if (!(fds[0].revents & POLLIN)) continue;
        const ssize_t got = read(fifo, buffer + used, sizeof buffer - 1 - used);
        if (got <= 0) continue;
        used += (size_t)got;
        buffer[used] = '\0';
        char* start = buffer;
        for (char* end; (end = strchr(start, '\n')); start = end + 1) {
            *end = '\0';
            const int rc = apply(pointer, start);
            if (wl_display_roundtrip(display) < 0) return 1;
            puts(rc == 0 ? "ok" : "error");
        }
        used -= (size_t)(start - buffer);
        memmove(buffer, start, used);
        if (used == sizeof buffer - 1) used = 0;
    }
}
