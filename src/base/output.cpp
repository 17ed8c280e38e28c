// The writer of standard output: each text is written with one call under one lock, so that no
// line of one thread lands inside another's.
#include "base/output.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <glib.h>
#include <glib/gprintf.h>
#include <unistd.h>

namespace orbelin {

// Held by output_text around its system writes only.
static GMutex output_mutex;

void output_text(const char* text, std::size_t length) {
    g_mutex_lock(&output_mutex);
    // Whatever the standard library still buffers goes first (none of the engine's own
    // output passes through it).
    std::fflush(stdout);
    while (length > 0) {
        ssize_t n = write(STDOUT_FILENO, text, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // the reader has gone: nothing more can be delivered
        text += n;
        length -= std::size_t(n);
    }
    g_mutex_unlock(&output_mutex);
}

void output_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    gchar* text = nullptr;
    int length  = g_vasprintf(&text, format, args);
    va_end(args);
    if (length > 0) output_text(text, std::size_t(length));
    g_free(text);
}

void print_line(const char* line) {
    if (!output_enabled) return;
    output_text(line, std::strlen(line));
}

} // namespace orbelin
