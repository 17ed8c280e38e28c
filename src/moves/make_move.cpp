// make_move: pushes the undo record, applies the move by type, then tests legality and check.
#include "base/table_slot.h"
#include "board/attacks.h"
#include "board/keys.h"
#include "board/tables.h"
#include "eval/pawns.h"
#include "eval/pst.h"
#include "moves/make.h"

#include <cassert>
#include <glib.h>

namespace orbelin {

namespace {

// Each side's rights. A move removes the mover's rights by its from-square and a capture the
// opponent's by its to-square, through the position's castle_mask; no capture lands on a king,
// so the king's square there counts only for a move from it.
constexpr int RIGHTS_OF[2] = {CASTLE_WK | CASTLE_WQ, CASTLE_BK | CASTLE_BQ};

// Clears the held rights among `rights`, with their keys. Without a test: most moves drop no
// right, and the key of the empty set is 0.
inline void remove_rights(Position& pos, int rights) {
    int lost = pos.castling & rights;
    pos.castling ^= lost;
    pos.key ^= zobrist_castle_set[lost];
}

// Moves piece p from f to s in its bitboards, key and piece-square sums (not the rotated
// boards or the board array).
inline void shift_piece(Position& pos, int p, int f, int s) {
    Bitboard fs = bit(f) | bit(s);
    pos.bitboards[p & 1] ^= fs;
    pos.bitboards[p] ^= fs;
    pos.key ^= zobrist_piece[p][f] ^ zobrist_piece[p][s];
    pos.pst_opening += pst[p][s].opening - pst[p][f].opening;
    pos.pst_endgame += pst[p][s].endgame - pst[p][f].endgame;
}

// Takes piece p off square s in its bitboards, key and piece-square sums.
inline void lift_piece(Position& pos, int p, int s) {
    pos.bitboards[p & 1] ^= bit(s);
    pos.bitboards[p] ^= bit(s);
    pos.key ^= zobrist_piece[p][s];
    pos.pst_opening -= pst[p][s].opening;
    pos.pst_endgame -= pst[p][s].endgame;
}

// Puts piece p on square s in its bitboards, key and piece-square sums.
inline void drop_piece(Position& pos, int p, int s) {
    pos.bitboards[p & 1] ^= bit(s);
    pos.bitboards[p] ^= bit(s);
    pos.key ^= zobrist_piece[p][s];
    pos.pst_opening += pst[p][s].opening;
    pos.pst_endgame += pst[p][s].endgame;
}

// Standard castling by its to-square: king and rook squares, and the squares that must not be
// attacked.
struct CastleRow {
    int king_from, king_to, rook_from, rook_to, pass;
};
constexpr CastleRow castle_row(int to) {
    switch (to) {
    case 6:
        return {4, 6, 7, 5, 5};
    case 2:
        return {4, 2, 0, 3, 3};
    case 62:
        return {60, 62, 63, 61, 61};
    default:
        return {60, 58, 56, 59, 59};
    }
}

// Starts loading the table slot of the new key, which the search probes next: the slot is
// rarely in cache, and the load then overlaps with the rest of the move.
// Without a table (perft, tests) there is nothing to load.
inline void prefetch_slot(std::uint64_t key) {
    if (tt_table != nullptr) __builtin_prefetch(tt_slot(key));
}

// True when a rook, bishop or queen of colour `by` attacks square k along a rank, file or
// diagonal through a square of `through`. A piece leaving a square can open only such a line:
// knight, pawn and king attacks do not depend on the occupancy.
// The attack sets are looked up only when such a slider stands on one of k's lines at all.
inline bool line_attack(const Position& pos, int k, Bitboard through, int by) {
    const Bitboard* bb      = pos.bitboards;
    const Bitboard straight = bb[WHITE_ROOK + by] | bb[WHITE_QUEEN + by];
    const Bitboard diagonal = bb[WHITE_BISHOP + by] | bb[WHITE_QUEEN + by];
    if ((rook_rays[k] & through) && (rook_rays[k] & straight) &&
        (rook_attacks_of(pos, k) & straight))
        return true;
    return (bishop_rays[k] & through) && (bishop_rays[k] & diagonal) &&
           (bishop_attacks_of(pos, k) & diagonal);
}

// A pawn arriving on its seventh rank extends the search.
inline bool pawn_to_seventh(int p, int s) {
    return (p == WHITE_PAWN && s >= 48) || (p == BLACK_PAWN && s <= 15);
}

// Chess960 castling, after make_move's first three steps: the king on f and its rook on s end
// on the king's and the rook's targets, and either may already stand there or on the other's
// square. No square from the king's to its target, both included, may be attacked; the
// king's target is tested again once the rook has left, which may have shielded it along the
// rank.
[[gnu::noinline]] int make_castle_960(Position& pos, const HistoryEntry& entry, int f, int s) {
    const int us = pos.side, them = us ^ 1;
    const int king_to = castle_king_target(f, s), rook_to = castle_rook_target(f, s);
    const int step = king_to > f ? 1 : -1;
    for (int k = f;; k += step) {
        if (square_attacked(pos, k, them)) {
            state_restore(pos, entry);
            return 0;
        }
        if (k == king_to) break;
    }
    remove_rights(pos, RIGHTS_OF[us]);
    const int king = WHITE_KING + us, rook = WHITE_ROOK + us;
    castle_960_place(pos, us, f, s, king_to, rook_to);
    pos.key ^= zobrist_piece[king][f] ^ zobrist_piece[king][king_to] ^ zobrist_piece[rook][s] ^
               zobrist_piece[rook][rook_to];
    pos.pst_opening += pst[king][king_to].opening - pst[king][f].opening +
                       pst[rook][rook_to].opening - pst[rook][s].opening;
    pos.pst_endgame += pst[king][king_to].endgame - pst[king][f].endgame +
                       pst[rook][rook_to].endgame - pst[rook][s].endgame;
    pos.static_moves = 0;
    pos.side ^= 1;
    pos.key ^= zobrist_side;
    prefetch_slot(pos.key);
    pos.ply++;
    if (square_attacked(pos, king_to, them)) {
        unmake_move(pos);
        return 0;
    }
    pos.in_check = in_check_test(pos);
    if (pos.in_check) pos.extend = 1;
    return 1;
}

// The castling case of make_move, after its first three steps: a call of its own keeps its
// attack tests out of the registers and stack frame of the common moves.
[[gnu::noinline]] int make_castle(Position& pos, const HistoryEntry& entry, int f, int s) {
    if (pos.chess960) return make_castle_960(pos, entry, f, s);
    const int us        = pos.side;
    const CastleRow row = castle_row(s);
    const int them      = us ^ 1;
    if (square_attacked(pos, row.king_from, them) || square_attacked(pos, row.pass, them) ||
        square_attacked(pos, row.king_to, them)) {
        state_restore(pos, entry);
        return 0;
    }
    remove_rights(pos, RIGHTS_OF[us]);
    const int king = WHITE_KING + us, rook = WHITE_ROOK + us;
    shift_piece(pos, king, row.king_from, row.king_to);
    shift_piece(pos, rook, row.rook_from, row.rook_to);
    rotated_toggle(pos, row.king_from);
    rotated_toggle(pos, row.king_to);
    rotated_toggle(pos, row.rook_from);
    rotated_toggle(pos, row.rook_to);
    pos.board[row.king_from] = EMPTY;
    pos.board[row.rook_from] = EMPTY;
    pos.board[row.king_to]   = king;
    pos.board[row.rook_to]   = rook;
    pos.static_moves         = 0;
    // Hand over the move; the castling test already covered the king's safety.
    pos.side ^= 1;
    pos.key ^= zobrist_side;
    prefetch_slot(pos.key);
    pos.ply++;
    pos.in_check = in_check_test(pos);
    if (pos.in_check) pos.extend = 1;
    return 1;
}

// Hands the move over and decides legality and check, for every type but castling and the null
// move. A mover that was not in check and did not move its king or take en passant can only
// have opened a line to its king through the square it left; anything else gets the full
// attack test. The side now to move was not in check before the move, so a check comes from
// the piece that arrived on s (a knight or pawn directly, a slider along its line) or from a
// line opened through f; an en-passant capture also empties a third square and gets the full
// test.
[[gnu::always_inline]] inline int finish_move(Position& pos, int t, int p, int f, int s, int us,
                                              int was_in_check) {
    pos.side ^= 1;
    pos.key ^= zobrist_side;
    prefetch_slot(pos.key);
    pos.ply++;
    // A new pawn skeleton: its pawn hash slot is loaded while the move is finished, for the
    // evaluation that usually follows.
    if (pawn_hash != nullptr && ((p & ~1) == WHITE_PAWN || (pos.captured & ~1) == WHITE_PAWN))
        __builtin_prefetch(pawn_hash_slot(pawn_key(pos)));

    const int king     = lsb(pos.bitboards[WHITE_KING + us]);
    const bool exposed = was_in_check || (p & ~1) == WHITE_KING || t == MOVE_EN_PASSANT
                             ? square_attacked(pos, king, us ^ 1) != 0
                             : line_attack(pos, king, bit(f), us ^ 1);
    if (exposed) {
        unmake_move(pos);
        return 0;
    }

    const int enemy_king = lsb(pos.bitboards[WHITE_KING + (us ^ 1)]);
    if (t == MOVE_EN_PASSANT) {
        pos.in_check = in_check_test(pos);
    } else {
        const int arrived     = pos.board[s] & ~1;
        const Bitboard direct = arrived == WHITE_KNIGHT ? knight_attacks[s]
                                : arrived == WHITE_PAWN ? pawn_attacks[us][s]
                                                        : 0;
        pos.in_check =
            (direct & bit(enemy_king)) || line_attack(pos, enemy_king, bit(f) | bit(s), us);
    }
    if (pos.in_check) pos.extend = 1;
    return 1;
}

// The rarer move types, after the undo record is pushed and the per-move fields are reset:
// a call of their own keeps their registers and stack out of the common quiet moves and
// captures.
[[gnu::noinline]] int make_special(Position& pos, const HistoryEntry& entry, int t, int f, int s,
                                   int was_in_check) {
    const int us = pos.side, p = pos.board[f];
    switch (t) {
    case MOVE_EN_PASSANT: {
        const int x = us == WHITE ? s - 8 : s + 8, victim = p ^ 1;
        shift_piece(pos, p, f, s);
        lift_piece(pos, victim, x);
        rotated_toggle(pos, f);
        rotated_toggle(pos, s);
        rotated_toggle(pos, x);
        pos.board[f] = EMPTY;
        pos.board[s] = p;
        pos.board[x] = EMPTY;
        pos.material[us ^ 1] -= 90;
        pos.static_moves = 0;
        break;
    }

    case MOVE_CASTLE:
        return make_castle(pos, entry, f, s);

    case MOVE_PROMO_KNIGHT:
    case MOVE_PROMO_BISHOP:
    case MOVE_PROMO_ROOK:
    case MOVE_PROMO_QUEEN: {
        const int pawn = WHITE_PAWN + us, q = (t - 1) + us, v = pos.board[s];
        lift_piece(pos, pawn, f);
        drop_piece(pos, q, s);
        rotated_toggle(pos, f);
        rotated_toggle(pos, s);
        pos.board[f] = EMPTY;
        pos.board[s] = q;
        pos.material[us] += piece_value[q] - 90;
        pos.static_moves = 0;
        pos.phase += phase_weight[q];
        if (v != EMPTY) {
            remove_rights(pos, pos.castle_mask[s] & RIGHTS_OF[us ^ 1]);
            lift_piece(pos, v, s);
            rotated_toggle(pos, s); // the square stays occupied
            pos.captured = v;
            pos.material[v & 1] -= piece_value[v];
            pos.phase -= phase_weight[v];
            pos.extend = 1;
        }
        break;
    }

    case MOVE_NULL:
        pos.key ^= zobrist_side;
        prefetch_slot(pos.key);
        pos.side ^= 1;
        pos.ply++;
        pos.static_moves = 0;
        return 1;

    default:
        g_log(nullptr, G_LOG_LEVEL_ERROR, "Wrong move type!\n"); // message text kept as is
        return 0;
    }
    return finish_move(pos, t, p, f, s, us, was_in_check);
}

} // namespace

int make_move(Position& pos, Move m) {
    const int t = move_type(m), f = move_from(m), s = move_to(m);
    const int us = pos.side, was_in_check = pos.in_check;
    assert(pos.ply < HISTORY_SIZE);

    // Push the undo record.
    HistoryEntry& entry = pos.history[pos.ply];
    state_save(pos, entry);
    entry.move = m;

    // Clear the en-passant square and reset the per-move fields.
    if (pos.ep_square != 0) {
        pos.key ^= zobrist_ep[pos.ep_square & 7];
        pos.ep_square = 0;
    }
    pos.static_moves++;
    pos.captured = EMPTY;
    pos.extend   = 0;

    // Apply the move by type: quiet moves and captures here, the others in their own call.
    const int p = pos.board[f];
    if (t == MOVE_QUIET) {
        shift_piece(pos, p, f, s);
        rotated_toggle(pos, f);
        rotated_toggle(pos, s);
        pos.board[f] = EMPTY;
        pos.board[s] = p;
        if ((p & ~1) == WHITE_PAWN) {
            pos.static_moves = 0;
            if (s - f == 16 || f - s == 16) {
                // The en-passant square is set only when an enemy pawn stands beside.
                Bitboard beside = ((bit(s) >> 1) & ~FILE_H) | ((bit(s) << 1) & ~FILE_A);
                if (beside & pos.bitboards[p ^ 1]) {
                    pos.ep_square = (f + s) / 2;
                    pos.key ^= zobrist_ep[s & 7];
                }
            }
            if (pawn_to_seventh(p, s)) pos.extend = 1;
        }
        remove_rights(pos, pos.castle_mask[f] & RIGHTS_OF[us]);
    } else if (t == MOVE_CAPTURE) {
        const int v = pos.board[s];
        shift_piece(pos, p, f, s);
        lift_piece(pos, v, s);
        rotated_toggle(pos, f);
        pos.board[f] = EMPTY;
        pos.board[s] = p;
        pos.material[v & 1] -= piece_value[v];
        pos.phase -= phase_weight[v];
        pos.static_moves = 0;
        pos.captured     = v;
        if (pawn_to_seventh(p, s)) pos.extend = 1;
        remove_rights(pos, (pos.castle_mask[f] & RIGHTS_OF[us]) |
                               (pos.castle_mask[s] & RIGHTS_OF[us ^ 1]));
    } else {
        return make_special(pos, entry, t, f, s, was_in_check);
    }
    return finish_move(pos, t, p, f, s, us, was_in_check);
}

} // namespace orbelin
