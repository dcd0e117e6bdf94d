/* Preloaded into a Qt program under X11 by bench/window_startup.sh: the first image the program
 * sends to the X server is its first painted frame. The probe lets that request through, flushes
 * it, writes the wall-clock time and the processor time the process has used so far (both in
 * nanoseconds) to the file named by FIRST_FRAME_FILE and ends the process, so that start-up is
 * timed the same way for any program, unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

typedef struct xcb_connection_t xcb_connection_t;
typedef struct {
    unsigned int sequence;
} xcb_void_cookie_t;

/* The real function: next in the global scope, else in the xcb library that the platform plugin
 * loaded privately. */
static void* next_symbol(const char* name) {
    void* symbol = dlsym(RTLD_NEXT, name);
    static const char* const libraries[] = {"libxcb.so.1", "libxcb-shm.so.0"};
    for (unsigned i = 0; !symbol && i < sizeof libraries / sizeof libraries[0]; ++i) {
        void* library = dlopen(libraries[i], RTLD_LAZY | RTLD_NOLOAD);
        if (library)
            symbol = dlsym(library, name);
    }
    return symbol;
}

/* Sends what is queued, notes the time and leaves without running any destructor. */
static void frame_done(xcb_connection_t* c) {
    int (*flush)(xcb_connection_t*) = (int (*)(xcb_connection_t*))next_symbol("xcb_flush");
    if (flush)
        flush(c);
    struct timespec now, used;
    clock_gettime(CLOCK_REALTIME, &now);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    const char* path = getenv("FIRST_FRAME_FILE");
    FILE* out = path ? fopen(path, "w") : NULL;
    if (out) {
        fprintf(out, "%lld %lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec,
                (long long)used.tv_sec * 1000000000LL + used.tv_nsec);
        fclose(out);
    }
    _exit(0);
}

#define FORWARD(name, params, args)                                                                \
    xcb_void_cookie_t name params {                                                                \
        xcb_void_cookie_t(*real) params = (xcb_void_cookie_t(*) params)next_symbol(#name);         \
        xcb_void_cookie_t cookie = {0};                                                            \
        if (real)                                                                                  \
            cookie = real args;                                                                    \
        frame_done(c);                                                                             \
        return cookie;                                                                             \
    }

FORWARD(xcb_put_image,
        (xcb_connection_t * c, uint8_t format, uint32_t drawable, uint32_t gc, uint16_t width,
         uint16_t height, int16_t dst_x, int16_t dst_y, uint8_t left_pad, uint8_t depth,
         uint32_t data_len, const uint8_t* data),
        (c, format, drawable, gc, width, height, dst_x, dst_y, left_pad, depth, data_len, data))

FORWARD(xcb_shm_put_image,
        (xcb_connection_t * c, uint32_t drawable, uint32_t gc, uint16_t total_width,
         uint16_t total_height, uint16_t src_x, uint16_t src_y, uint16_t src_width,
         uint16_t src_height, int16_t dst_x, int16_t dst_y, uint8_t depth, uint8_t format,
         uint8_t send_event, uint32_t shmseg, uint32_t offset),
        (c, drawable, gc, total_width, total_height, src_x, src_y, src_width, src_height, dst_x,
         dst_y, depth, format, send_event, shmseg, offset))

FORWARD(xcb_copy_area,
        (xcb_connection_t * c, uint32_t src_drawable, uint32_t dst_drawable, uint32_t gc,
         int16_t src_x, int16_t src_y, int16_t dst_x, int16_t dst_y, uint16_t width,
         uint16_t height),
        (c, src_drawable, dst_drawable, gc, src_x, src_y, dst_x, dst_y, width, height))
