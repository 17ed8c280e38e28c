// Capture generation: promotions by push, pawn captures, en passant, then pieces by kind.
#include "board/tables.h"
#include "moves/generate.h"

#include <cassert>

namespace orbelin {

namespace {

struct Appender {
    MoveList& list;
    std::uint32_t n = 0;

    void add(int type, int from, int to, int key) {
        assert(n < MOVELIST_SIZE);
        list.moves[n] = move_pack(type, from, to);
        list.keys[n]  = key;
        n++;
    }
    // The four promotions, queen first; base is the victim's value (0 for a push).
    void promotions(int from, int to, int base) {
        add(MOVE_PROMO_QUEEN, from, to, base + 975);
        add(MOVE_PROMO_ROOK, from, to, base + 500);
        add(MOVE_PROMO_BISHOP, from, to, base + 325);
        add(MOVE_PROMO_KNIGHT, from, to, base + 300);
    }
    // Pawn captures onto the targets, each from to + offset.
    void pawn_captures(const Position& pos, Bitboard targets, int offset, Bitboard last_rank) {
        while (targets) {
            int to     = pop_lsb(targets);
            int victim = piece_value[pos.board[to]];
            if (bit(to) & last_rank)
                promotions(to + offset, to, victim);
            else
                add(MOVE_CAPTURE, to + offset, to, victim - 90);
        }
    }
    void piece_captures(const Position& pos, int from, Bitboard targets, int attacker_value) {
        while (targets) {
            int to = pop_lsb(targets);
            add(MOVE_CAPTURE, from, to, piece_value[pos.board[to]] - attacker_value);
        }
    }
};

} // namespace

void gen_captures(const Position& pos, MoveList& list) {
    const Bitboard* bb = pos.bitboards;
    const int us = pos.side, them = us ^ 1;
    const Bitboard occ = bb[OCC_WHITE] | bb[OCC_BLACK], enemy = bb[them];
    const Bitboard pawns = bb[WHITE_PAWN + us];
    Appender out{list};

    if (us == WHITE) {
        for (Bitboard t = (pawns << 8) & ~occ & RANK_8; t;) {
            int to = pop_lsb(t);
            out.promotions(to - 8, to, 0);
        }
        out.pawn_captures(pos, enemy & (pawns << 9) & ~FILE_A, -9, RANK_8);
        out.pawn_captures(pos, enemy & (pawns << 7) & ~FILE_H, -7, RANK_8);
    } else {
        for (Bitboard t = (pawns >> 8) & ~occ & RANK_1; t;) {
            int to = pop_lsb(t);
            out.promotions(to + 8, to, 0);
        }
        out.pawn_captures(pos, enemy & (pawns >> 7) & ~FILE_A, 7, RANK_1);
        out.pawn_captures(pos, enemy & (pawns >> 9) & ~FILE_H, 9, RANK_1);
    }
    if (pos.ep_square != 0)
        for (Bitboard b = pawn_attacks[them][pos.ep_square] & pawns; b;)
            out.add(MOVE_EN_PASSANT, pop_lsb(b), pos.ep_square, 0);

    for (Bitboard b = bb[WHITE_KNIGHT + us]; b;) {
        int from = pop_lsb(b);
        out.piece_captures(pos, from, knight_attacks[from] & enemy, 300);
    }
    for (Bitboard b = bb[WHITE_BISHOP + us]; b;) {
        int from = pop_lsb(b);
        out.piece_captures(pos, from, bishop_attacks_of(pos, from) & enemy, 325);
    }
    for (Bitboard b = bb[WHITE_ROOK + us]; b;) {
        int from = pop_lsb(b);
        out.piece_captures(pos, from, rook_attacks_of(pos, from) & enemy, 500);
    }
    for (Bitboard b = bb[WHITE_QUEEN + us]; b;) {
        int from = pop_lsb(b);
        out.piece_captures(
            pos, from, (bishop_attacks_of(pos, from) | rook_attacks_of(pos, from)) & enemy, 975);
    }
    int king = lsb(bb[WHITE_KING + us]);
    out.piece_captures(pos, king, king_attacks[king] & enemy, 0);

    list.count  = out.n;
    list.sorted = 0;
    list.cursor = 0;
}

} // namespace orbelin
