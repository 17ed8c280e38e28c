#pragma once
// The piece-square table, filled once at start-up by init_pst and read by every thread.
#include <cstdint>

namespace orbelin {

struct PstEntry {
    std::int32_t opening;
    std::int32_t endgame;
};

// pst[piece code][square]: positional values only, from White's view (black entries are the
// negated white entries of the mirrored square); codes 0 and 1 are zero.
inline PstEntry pst[14][64];

// Builds pst from its per-file and per-rank rule tables; called by init_tables.
void init_pst();

} // namespace orbelin
