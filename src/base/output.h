#pragma once
// Everything the engine writes to standard output goes through output_text, one write per
// text, so that a line of the search thread never lands inside a text of the main thread.
#include <cstddef>
#include <glib.h>

namespace orbelin {

// Writes the text to standard output whole: the one lock of the output (held only for the
// write itself) keeps texts of different threads apart, also when a long text takes several
// system writes. Any thread; a vanished reader is ignored.
void output_text(const char* text, std::size_t length);
// Formats one text (any length) and writes it with output_text.
void output_printf(const char* format, ...) G_GNUC_PRINTF(1, 2);

// Cleared by tools that search silently (bench); set before any search starts.
inline bool output_enabled = true;
// Prints one whole line (with its newline) unless output is disabled.
void print_line(const char* line);

} // namespace orbelin
