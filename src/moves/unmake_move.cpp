// unmake_move: reverses the piece placement of the stored move and copies the state block back.
#include "board/tables.h"
#include "moves/make.h"

#include <cassert>
#include <glib.h>

namespace orbelin {

namespace {

// Flips a piece between two squares in its colour and piece boards.
inline void flip_pair(Position& pos, int p, int a, int b) {
    Bitboard ab = bit(a) | bit(b);
    pos.bitboards[p & 1] ^= ab;
    pos.bitboards[p] ^= ab;
}

inline void flip_one(Position& pos, int p, int s) {
    pos.bitboards[p & 1] ^= bit(s);
    pos.bitboards[p] ^= bit(s);
}

// The placement of the rarer move types: a call of their own keeps their registers out of the
// common quiet moves and captures. False for a type that no move has.
[[gnu::noinline]] bool unmake_special(Position& pos, int t, int f, int s, int mover) {
    switch (t) {
    case MOVE_EN_PASSANT: {
        const int pawn = WHITE_PAWN + mover, x = mover == WHITE ? s - 8 : s + 8;
        flip_pair(pos, pawn, f, s);
        flip_one(pos, pawn ^ 1, x);
        rotated_toggle(pos, f);
        rotated_toggle(pos, s);
        rotated_toggle(pos, x);
        pos.board[f] = pawn;
        pos.board[s] = EMPTY;
        pos.board[x] = pawn ^ 1;
        break;
    }
    case MOVE_CASTLE: {
        if (pos.chess960) {
            // The king took its own rook: f is the king's square, s the rook's.
            castle_960_place(pos, mover, castle_king_target(f, s), castle_rook_target(f, s), f, s);
            break;
        }
        const int king = WHITE_KING + mover, rook = WHITE_ROOK + mover;
        const bool king_side = s == 6 || s == 62;
        const int corner = king_side ? s + 1 : s - 2, rook_to = king_side ? s - 1 : s + 1;
        flip_pair(pos, king, f, s);
        flip_pair(pos, rook, corner, rook_to);
        rotated_toggle(pos, f);
        rotated_toggle(pos, s);
        rotated_toggle(pos, corner);
        rotated_toggle(pos, rook_to);
        pos.board[f]       = king;
        pos.board[s]       = EMPTY;
        pos.board[corner]  = rook;
        pos.board[rook_to] = EMPTY;
        break;
    }
    case MOVE_PROMO_KNIGHT:
    case MOVE_PROMO_BISHOP:
    case MOVE_PROMO_ROOK:
    case MOVE_PROMO_QUEEN: {
        const int q = (t - 1) + mover, pawn = WHITE_PAWN + mover, v = pos.captured;
        pos.bitboards[mover] ^= bit(f) | bit(s);
        pos.bitboards[pawn] ^= bit(f);
        pos.bitboards[q] ^= bit(s);
        rotated_toggle(pos, f);
        pos.board[f] = pawn;
        if (v != EMPTY) {
            pos.board[s] = v;
            flip_one(pos, v, s);
        } else {
            rotated_toggle(pos, s);
            pos.board[s] = EMPTY;
        }
        break;
    }
    case MOVE_NULL:
        break;
    default:
        g_log(nullptr, G_LOG_LEVEL_ERROR, "\nWrong move type!\n"); // message text kept as is
        return false;
    }
    return true;
}

} // namespace

void unmake_move(Position& pos) {
    assert(pos.ply > 0);
    pos.ply--;
    const HistoryEntry& e = pos.history[pos.ply];
    const Move m          = e.move;
    const int t = move_type(m), f = move_from(m), s = move_to(m);

    if (t == MOVE_QUIET) {
        const int p = pos.board[s];
        flip_pair(pos, p, f, s);
        rotated_toggle(pos, f);
        rotated_toggle(pos, s);
        pos.board[f] = p;
        pos.board[s] = EMPTY;
    } else if (t == MOVE_CAPTURE) {
        const int p = pos.board[s], v = pos.captured;
        flip_pair(pos, p, f, s);
        flip_one(pos, v, s);
        rotated_toggle(pos, f);
        pos.board[f] = p;
        pos.board[s] = v;
    } else if (!unmake_special(pos, t, f, s, pos.side ^ 1)) {
        return;
    }

    state_restore(pos, e);
    pos.side ^= 1;
}

} // namespace orbelin
