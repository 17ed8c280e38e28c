#pragma once
// Attack tests and the repetition count: table lookups only, no generation, no board scan.
#include "board/position.h"
#include "board/tables.h"

namespace orbelin {

// 1 when a slider, knight or pawn of colour `by` attacks the square (a king never gives check).
inline int attacked_by_non_king(const Position& pos, int s, int by) {
    const Bitboard* bb = pos.bitboards;
    if (rook_attacks_of(pos, s) & (bb[WHITE_QUEEN + by] | bb[WHITE_ROOK + by])) return 1;
    if (bishop_attacks_of(pos, s) & (bb[WHITE_QUEEN + by] | bb[WHITE_BISHOP + by])) return 1;
    if (knight_attacks[s] & bb[WHITE_KNIGHT + by]) return 1;
    return (pawn_attacks[by ^ 1][s] & bb[WHITE_PAWN + by]) != 0;
}

// 1 when the square is attacked by a piece of colour `by` (blockers of both colours count).
inline int square_attacked(const Position& pos, int square, int by) {
    if (attacked_by_non_king(pos, square, by)) return 1;
    return (king_attacks[square] & pos.bitboards[WHITE_KING + by]) != 0;
}

// 1 when the king of the side to move is attacked.
inline int in_check_test(const Position& pos) {
    return attacked_by_non_king(pos, lsb(pos.bitboards[WHITE_KING + pos.side]), pos.side ^ 1);
}

// Earlier occurrences of the current position with the same side to move, looking back no
// further than the last capture, pawn move, castling or null move.
int repetition_count(const Position& pos);

} // namespace orbelin
