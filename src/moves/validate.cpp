// Pseudo-legality of a single move without generating the list, for moves from the table.
#include "board/tables.h"
#include "moves/generate.h"

namespace orbelin {

// The squares the non-pawn piece on `from` attacks.
static Bitboard piece_reach(const Position& pos, int piece, int from) {
    switch (piece & ~1) {
    case WHITE_KNIGHT:
        return knight_attacks[from];
    case WHITE_BISHOP:
        return bishop_attacks_of(pos, from);
    case WHITE_ROOK:
        return rook_attacks_of(pos, from);
    case WHITE_QUEEN:
        return bishop_attacks_of(pos, from) | rook_attacks_of(pos, from);
    case WHITE_KING:
        return king_attacks[from];
    default:
        return 0;
    }
}

bool move_is_pseudo_legal(const Position& pos, Move move) {
    const int type = move_type(move), from = move_from(move), to = move_to(move);
    const int us = pos.side, piece = pos.board[from], target = pos.board[to];
    if (move > 0xFFFF || piece == EMPTY || (piece & 1) != us || from == to) return false;
    const Bitboard occ  = occupancy(pos);
    const int forward   = us == WHITE ? 8 : -8;
    const Bitboard last = us == WHITE ? RANK_8 : RANK_1;
    const bool pawn     = piece == WHITE_PAWN + us;
    const bool push     = pawn && to == from + forward && target == EMPTY;
    const bool pawn_hit =
        pawn && (pawn_attacks[us][from] & bit(to)) && target != EMPTY && (target & 1) != us;
    switch (type) {
    case MOVE_QUIET:
        if (target != EMPTY) return false;
        if (!pawn) return (piece_reach(pos, piece, from) & bit(to)) != 0;
        if (bit(to) & last) return false;
        if (push) return true;
        return to == from + 2 * forward && rank_of(from) == (us == WHITE ? 1 : 6) &&
               pos.board[from + forward] == EMPTY;
    case MOVE_CAPTURE:
        if (target == EMPTY || (target & 1) == us) return false;
        if (pawn) return pawn_hit && !(bit(to) & last);
        return (piece_reach(pos, piece, from) & bit(to)) != 0;
    case MOVE_EN_PASSANT:
        return pawn && to == pos.ep_square && pos.ep_square != 0 &&
               (pawn_attacks[us][from] & bit(to)) != 0;
    case MOVE_CASTLE:
        if (piece != WHITE_KING + us) return false;
        for (int right = 2 * us; right < 2 * us + 2; right++)
            if (move == pos.castle_move[right])
                return (pos.castling >> right & 1) && !(occ & pos.castle_path[right]);
        return false;
    case MOVE_PROMO_KNIGHT:
    case MOVE_PROMO_BISHOP:
    case MOVE_PROMO_ROOK:
    case MOVE_PROMO_QUEEN:
        return (bit(to) & last) && (push || pawn_hit);
    default:
        return false;
    }
}

} // namespace orbelin
