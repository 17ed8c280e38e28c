#pragma once
// The lines the search prints: iteration start, statistics, principal variations, the root move
// being searched and "bestmove"; all written through output_text.
#include "base/output.h"
#include "board/position.h"
#include "moves/picker.h"

#include <cstddef>
#include <cstdint>
#include <glib.h>

namespace orbelin {

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
// The score field of a pv line ("score mate %d " or "score cp %d ") for a root side.
void format_score(char* buffer, std::size_t size, int score, int root_side);

} // namespace orbelin
