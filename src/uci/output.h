#pragma once
// Everything the engine writes to standard output goes through output_text, one write per
// text, so that a line of the search thread never lands inside a text of the main thread. Also
// the lines the search prints: iteration start, statistics, principal variations, the root move
// being searched and "bestmove".
#include "board/position.h"
#include "moves/picker.h"

#include <cstddef>
#include <cstdint>
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

// "info depth" from depth 5 on.
void print_depth(int depth);
// "info time ... nodes ... nps ... hashfull ... " from depth 5 on.
void print_stats(int depth, std::uint64_t node_count);
// True once the current search has printed a pv line; cleared by think. Search thread only.
inline bool pv_lines_printed = false;
// One "info ... pv ..." line for each of the first count entries, from depth 5 on; root_side is
// the side to move at the root.
void print_pv_lines(int root_side, int depth, int count, const RootMoveList& list);
// The same lines at any depth: the last results of a search that ended before depth 5.
void print_last_pv_lines(int root_side, int count, const RootMoveList& list);
// "info currmovenumber ... currmove ..." from depth 10 on.
void print_currmove(int depth, int index, const RootMoveList& list);
// "bestmove <move> [ponder <move>]"; the ponder move only with the Ponder option on.
void print_bestmove(Move move, Move ponder);
// Prints one whole line (with its newline) and flushes.
void print_line(const char* line);
// The score field of a pv line ("score mate %d " or "score cp %d ") for a root side.
void format_score(char* buffer, std::size_t size, int score, int root_side);

} // namespace orbelin
