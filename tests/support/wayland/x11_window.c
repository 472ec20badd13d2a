// A window for the test desktop's scenes, through Xwayland: override-redirect, so the
// compositor places it exactly where it asks (layout coordinates, logical pixels).
//   x11_window X Y WIDTH HEIGHT RRGGBB [moving]
// Fills the window with the colour; with "moving", a dark bar also sweeps across it about 30
// times a second, so a screen-cast stream always has a changed picture to deliver. Writes
// "mapped" on standard output once the window is drawn, then runs until killed.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <xcb/xcb.h>

int main(int argc, char** argv) {
    if (argc < 6) {
        fprintf(stderr, "usage: %s X Y WIDTH HEIGHT RRGGBB [moving]\n", argv[0]);
        return 2;
    }
    const int x = atoi(argv[1]), y = atoi(argv[2]);
    const int width = atoi(argv[3]), height = atoi(argv[4]);
    const uint32_t colour = (uint32_t)strtoul(argv[5], NULL, 16);
    const int moving = argc > 6 && strcmp(argv[6], "moving") == 0;

    xcb_connection_t* c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fprintf(stderr, "cannot connect to the X server\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {colour, 1, XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, (int16_t)x, (int16_t)y, (uint16_t)width,
                      (uint16_t)height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    const xcb_gcontext_t bar = xcb_generate_id(c);
    const uint32_t barColour = 0x202020;
    xcb_create_gc(c, bar, window, XCB_GC_FOREGROUND, &barColour);
    xcb_map_window(c, window);
    xcb_flush(c);

    for (xcb_generic_event_t* event; (event = xcb_wait_for_event(c));) {
        const int exposed = (event->response_type & 0x7f) == XCB_EXPOSE;
        free(event);
        if (exposed) break;
    }
    xcb_clear_area(c, 0, window, 0, 0, 0, 0);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL));  // everything drawn
    setvbuf(stdout, NULL, _IOLBF, 0);
    puts("mapped");

    if (!moving) {
        for (xcb_generic_event_t* event; (event = xcb_wait_for_event(c));) free(event);
        return 1;  // the server went away
    }
    const int barWidth = width / 8 > 0 ? width / 8 : 1;
    for (int step = 0;; ++step) {
        const int at = (step * 8) % (width + barWidth) - barWidth;
        xcb_clear_area(c, 0, window, 0, 0, 0, 0);
        const xcb_rectangle_t r = {(int16_t)at, 0, (uint16_t)barWidth, (uint16_t)height};
        xcb_poly_fill_rectangle(c, window, bar, 1, &r);
        xcb_flush(c);
        const struct timespec tick = {0, 33 * 1000 * 1000};
        nanosleep(&tick, NULL);
        if (xcb_connection_has_error(c)) return 1;
        for (xcb_generic_event_t* event; (event = xcb_poll_for_event(c));) free(event);
    }
}
