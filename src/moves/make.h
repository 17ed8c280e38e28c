#pragma once
// Making and unmaking moves: every incremental field updated, legality decided on the way.
#include "board/position.h"
#include "board/tables.h"

namespace orbelin {

// Plays the move and answers 1, or answers 0 with the position exactly as before when the move
// leaves the mover's king attacked (or castles out of, through or into attack). The move must
// be one the generators could produce here, or MOVE_NULL (always played). The caller keeps
// ply below HISTORY_SIZE.
int make_move(Position& pos, Move move);
// Takes back the last move made; ply must be above 0.
void unmake_move(Position& pos);

// Moves the king of colour us from f to king_to and its rook from r to rook_to in the colour,
// king and rook boards, the rotated boards and the board array (not the key or the piece-square
// sums), for a Chess960 castling or its take-back (called with the targets swapped). Any of the
// four squares may coincide, except the two starts and the two ends.
inline void castle_960_place(Position& pos, int us, int f, int r, int king_to, int rook_to) {
    const int king = WHITE_KING + us, rook = WHITE_ROOK + us;
    const Bitboard changed = bit(f) ^ bit(r) ^ bit(king_to) ^ bit(rook_to);
    pos.bitboards[us] ^= changed;
    pos.bitboards[king] ^= bit(f) ^ bit(king_to);
    pos.bitboards[rook] ^= bit(r) ^ bit(rook_to);
    for (Bitboard b = changed; b;)
        rotated_toggle(pos, pop_lsb(b));
    pos.board[f]       = EMPTY;
    pos.board[r]       = EMPTY;
    pos.board[king_to] = king;
    pos.board[rook_to] = rook;
}

} // namespace orbelin
