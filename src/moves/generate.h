#pragma once
// Pseudo-legal move generation with ordering keys. Legality is decided when a move is made.
#include "board/position.h"

#include <atomic>
#include <cstdint>

namespace orbelin {

// Quiet-move ordering by [from][to]: cleared by the search driver before every search, raised
// by the tree searches on quiet cut-offs, read by gen_quiets. Relaxed is enough: a lost or
// stale update only changes move order, never correctness.
inline std::atomic<std::int32_t> history_score[64][64];

inline void history_clear() {
    for (auto& row : history_score)
        for (auto& counter : row)
            counter.store(0, std::memory_order_relaxed);
}

// Captures, promotions (capturing or not) and en-passant captures of the side to move, keyed
// most valuable victim / least valuable attacker. Overwrites the moves; sorted, cursor = 0.
void gen_captures(const Position& pos, MoveList& list);
// Non-capturing, non-promoting moves and castling, keyed by history_score.
void gen_quiets(const Position& pos, MoveList& list);
// True when one of the generators could produce the move here (legality aside). Moves that
// come from the transposition table pass this test before they are made.
bool move_is_pseudo_legal(const Position& pos, Move move);

} // namespace orbelin
