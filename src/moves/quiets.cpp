// Quiet move generation: pawn pushes, castling, then non-captures of the pieces by kind.
#include "board/tables.h"
#include "moves/generate.h"

#include <cassert>

namespace orbelin {

namespace {

struct QuietAppender {
    MoveList& list;
    std::uint32_t n = 0;

    // A castling right's move when the right is held and its path is empty.
    void castle(const Position& pos, Bitboard occ, int right) {
        if ((pos.castling >> right & 1) && !(occ & pos.castle_path[right])) {
            const Move m = pos.castle_move[right];
            add(MOVE_CASTLE, move_from(m), move_to(m));
        }
    }
    void add(int type, int from, int to) {
        assert(n < MOVELIST_SIZE);
        list.moves[n] = move_pack(type, from, to);
        list.keys[n]  = history_score[from][to].load(std::memory_order_relaxed);
        n++;
    }
    void pushes(Bitboard targets, int offset) {
        while (targets) {
            int to = pop_lsb(targets);
            add(MOVE_QUIET, to + offset, to);
        }
    }
    void piece_moves(int from, Bitboard targets) {
        while (targets)
            add(MOVE_QUIET, from, pop_lsb(targets));
    }
};

constexpr Bitboard RANK_3 = RANK_1 << 16;
constexpr Bitboard RANK_6 = RANK_1 << 40;
} // namespace

void gen_quiets(const Position& pos, MoveList& list) {
    const Bitboard* bb = pos.bitboards;
    const int us       = pos.side;
    const Bitboard occ = bb[OCC_WHITE] | bb[OCC_BLACK], empty = ~occ;
    const Bitboard pawns = bb[WHITE_PAWN + us];
    QuietAppender out{list};

    if (us == WHITE) {
        Bitboard single = (pawns << 8) & empty;
        out.pushes(single & ~RANK_8, -8);
        out.pushes(((single & RANK_3) << 8) & empty, -16);
        out.castle(pos, occ, 0);
        out.castle(pos, occ, 1);
    } else {
        Bitboard single = (pawns >> 8) & empty;
        out.pushes(single & ~RANK_1, 8);
        out.pushes(((single & RANK_6) >> 8) & empty, 16);
        out.castle(pos, occ, 2);
        out.castle(pos, occ, 3);
    }

    for (Bitboard b = bb[WHITE_KNIGHT + us]; b;) {
        int from = pop_lsb(b);
        out.piece_moves(from, knight_attacks[from] & empty);
    }
    for (Bitboard b = bb[WHITE_BISHOP + us]; b;) {
        int from = pop_lsb(b);
        out.piece_moves(from, bishop_attacks_of(pos, from) & empty);
    }
    for (Bitboard b = bb[WHITE_ROOK + us]; b;) {
        int from = pop_lsb(b);
        out.piece_moves(from, rook_attacks_of(pos, from) & empty);
    }
    for (Bitboard b = bb[WHITE_QUEEN + us]; b;) {
        int from = pop_lsb(b);
        out.piece_moves(from, (bishop_attacks_of(pos, from) | rook_attacks_of(pos, from)) & empty);
    }
    int king = lsb(bb[WHITE_KING + us]);
    out.piece_moves(king, king_attacks[king] & empty);

    list.count  = out.n;
    list.sorted = 0;
    list.cursor = 0;
}

} // namespace orbelin
