// Piece terms: the fixed-square patterns, and mobility, outposts, rook files, the seventh rank
// and queen closeness, counting on the way the pieces that attack each king's surroundings.
#include "eval/evaluate.h"

#include "eval/pawns.h"

#include <array>

namespace orbelin {

namespace {

// Squares of the patterns, written for White; Black's are the vertical mirrors.
constexpr int A1 = 0, B1 = 1, C1 = 2, F1 = 5, G1 = 6, H1 = 7, A2 = 8, D2 = 11, E2 = 12, H2 = 15;
constexpr int D3 = 19, E3 = 20, B5 = 33, G5 = 38, A6 = 40, B6 = 41, G6 = 46, H6 = 47;
constexpr int A7 = 48, C7 = 50, F7 = 53, H7 = 55, B8 = 57, G8 = 62;

// White's outpost bonus by square, rank 8 first; Black's is its vertical mirror.
// clang-format off
constexpr std::array<int, 64> OUTPOST_WHITE_GRID = {
    0, 0, 0, 0,  0,  0, 0, 0,
    0, 0, 0, 0,  0,  0, 0, 0,
    0, 0, 4, 5,  5,  4, 0, 0,
    0, 2, 5, 10, 10, 5, 2, 0,
    0, 2, 5, 10, 10, 5, 2, 0,
    0, 0, 0, 0,  0,  0, 0, 0,
    0, 0, 0, 0,  0,  0, 0, 0,
    0, 0, 0, 0,  0,  0, 0, 0,
};
// clang-format on

consteval std::array<std::array<int, 64>, 2> make_outpost_bonus() {
    std::array<std::array<int, 64>, 2> t{};
    for (int s = 0; s < 64; s++) {
        t[WHITE][s] = OUTPOST_WHITE_GRID[s ^ 56];
        t[BLACK][s] = OUTPOST_WHITE_GRID[s];
    }
    return t;
}

} // namespace

// outpost_bonus[colour][square].
static constexpr std::array<std::array<int, 64>, 2> outpost_bonus = make_outpost_bonus();
static_assert(outpost_bonus[WHITE][27] == 10 && outpost_bonus[WHITE][42] == 4); // d4, c6
static_assert(outpost_bonus[BLACK][35] == 10 && outpost_bonus[BLACK][18] == 4); // d5, c3

// True when the square, seen from colour c's side (a1 stays a1 for White, is a8 for Black),
// holds the given white piece code turned to colour c (or, with `other`, to the opponent).
static bool holds(const Position& pos, int c, int square, int white_piece, bool other = false) {
    return pos.board[c == WHITE ? square : square ^ 56] == white_piece + (c ^ int(other));
}
static bool occupied(const Position& pos, int c, int square) {
    return pos.board[c == WHITE ? square : square ^ 56] != EMPTY;
}

// The pattern penalties of colour c, as positive numbers.
static void pattern_penalty(const Position& pos, int c, int& opening, int& endgame) {
    bool d_blocked = holds(pos, c, D2, WHITE_PAWN) && occupied(pos, c, D3);
    bool e_blocked = holds(pos, c, E2, WHITE_PAWN) && occupied(pos, c, E3);
    if (d_blocked) opening += 10;
    if (e_blocked) opening += 10;
    if (d_blocked && holds(pos, c, C1, WHITE_BISHOP)) opening += 50;
    if (e_blocked && holds(pos, c, F1, WHITE_BISHOP)) opening += 50;

    // Bishops trapped behind an enemy pawn on the edge.
    if ((holds(pos, c, A7, WHITE_BISHOP) && holds(pos, c, B6, WHITE_PAWN, true)) ||
        (holds(pos, c, B8, WHITE_BISHOP) && holds(pos, c, C7, WHITE_PAWN, true)))
        opening += 100, endgame += 100;
    if ((holds(pos, c, H7, WHITE_BISHOP) && holds(pos, c, G6, WHITE_PAWN, true)) ||
        (holds(pos, c, G8, WHITE_BISHOP) && holds(pos, c, F7, WHITE_PAWN, true)))
        opening += 100, endgame += 100;
    if (holds(pos, c, A6, WHITE_BISHOP) && holds(pos, c, B5, WHITE_PAWN, true))
        opening += 50, endgame += 50;
    if (holds(pos, c, H6, WHITE_BISHOP) && holds(pos, c, G5, WHITE_PAWN, true))
        opening += 50, endgame += 50;

    // Rooks shut in by their own king.
    if ((holds(pos, c, C1, WHITE_KING) || holds(pos, c, B1, WHITE_KING)) &&
        (holds(pos, c, A1, WHITE_ROOK) || holds(pos, c, A2, WHITE_ROOK) ||
         holds(pos, c, B1, WHITE_ROOK)))
        opening += 50;
    if ((holds(pos, c, F1, WHITE_KING) || holds(pos, c, G1, WHITE_KING)) &&
        (holds(pos, c, H1, WHITE_ROOK) || holds(pos, c, H2, WHITE_ROOK) ||
         holds(pos, c, G1, WHITE_ROOK)))
        opening += 50;
}

void eval_patterns(const Position& pos, EvalInfo& info) {
    int white_opening = 0, white_endgame = 0, black_opening = 0, black_endgame = 0;
    pattern_penalty(pos, WHITE, white_opening, white_endgame);
    pattern_penalty(pos, BLACK, black_opening, black_endgame);
    info.opening += black_opening - white_opening;
    info.endgame += black_endgame - white_endgame;
}

// 1 for a non-empty board, 0 for an empty one: lets a test feed a sum instead of a branch.
static inline int any(Bitboard b) { return b != 0; }

// Per-colour scores of the pieces, and the attack count and weight against the enemy king.
struct PieceSums {
    int opening, endgame, attackers, weight;
};

// Colour C's piece scores and its pieces' attack on the enemy king. The tests on the data
// (king attack, seventh rank) are sums of 0/1 values rather than branches: which
// way they go changes from one position to the next and mispredicts.
template <int C, bool HW>
[[gnu::always_inline]] static inline PieceSums pieces_side(const Position& pos, int king_danger) {
    constexpr int E       = C ^ 1;
    constexpr int SEVENTH = C == WHITE ? 6 : 1;
    constexpr int EIGHTH  = C == WHITE ? 7 : 0;
    const Bitboard* bb    = pos.bitboards;
    int ek                = lsb(bb[WHITE_KING + E]);
    Bitboard near_king    = king_attacks[ek];
    Bitboard zone         = king_zone[ek];
    Bitboard target       = ~bb[OCC_WHITE + C];
    Bitboard own_pawns = bb[WHITE_PAWN + C], enemy_pawns = bb[WHITE_PAWN + E];
    int seventh_bonus = any(enemy_pawns & rank_mask[SEVENTH]) | (rank_of(ek) == EIGHTH);
    int opening = 0, endgame = 0, attackers = 0, weight = 0;

    // The squares that own pawns attack from either side: a knight there counts the outpost
    // bonus once for each pawn diagonally behind it.
    Bitboard left, right;
    if constexpr (C == WHITE) {
        left  = (own_pawns << 7) & ~FILE_H;
        right = (own_pawns << 9) & ~FILE_A;
    } else {
        left  = (own_pawns >> 9) & ~FILE_H;
        right = (own_pawns >> 7) & ~FILE_A;
    }
    for (Bitboard b = bb[WHITE_KNIGHT + C]; b;) {
        int s           = pop_lsb(b);
        Bitboard attack = knight_attacks[s];
        int hit         = any(attack & near_king);
        attackers += hit;
        weight += hit;
        int mobility = 4 * (count_bits<HW>(attack & target) - 4);
        opening += mobility;
        endgame += mobility;
        int defenders = int((left >> s) & 1) + int((right >> s) & 1);
        opening += defenders * outpost_bonus[C][s];
    }
    for (Bitboard b = bb[WHITE_BISHOP + C]; b;) {
        int s           = pop_lsb(b);
        Bitboard attack = bishop_attacks_of(pos, s);
        int hit         = any(bishop_rays[s] & near_king) & any(attack & zone);
        attackers += hit;
        weight += hit;
        int mobility = 5 * (count_bits<HW>(attack & target) - 6);
        opening += mobility;
        endgame += mobility;
    }
    for (Bitboard b = bb[WHITE_ROOK + C]; b;) {
        int s           = pop_lsb(b);
        Bitboard attack = rook_attacks_of(pos, s);
        int hit         = any(rook_rays[s] & near_king) & any(attack & zone);
        attackers += hit;
        weight += 2 * hit;
        int n = count_bits<HW>(attack & target);
        opening += 2 * (n - 7);
        endgame += 4 * (n - 7);
        Bitboard file = file_mask[file_of(s)];
        if (own_pawns & file) {
            opening -= 10;
            endgame -= 10;
        } else {
            if (!(enemy_pawns & file)) opening += 10, endgame += 10;
            if (king_danger) {
                int distance = file_of(s) - file_of(ek);
                if (distance == 0) opening += 20;
                if (distance == 1 || distance == -1) opening += 10;
            }
        }
        int seventh = (rank_of(s) == SEVENTH) & seventh_bonus;
        opening += 20 * seventh;
        endgame += 40 * seventh;
    }
    for (Bitboard b = bb[WHITE_QUEEN + C]; b;) {
        int s = pop_lsb(b);
        // The empty-board test spares the attack lookups of a queen far from the king.
        if ((queen_rays[s] & near_king) &&
            ((rook_attacks_of(pos, s) | bishop_attacks_of(pos, s)) & zone))
            attackers++, weight += 4;
        int dr = rank_of(s) - rank_of(ek), df = file_of(s) - file_of(ek);
        int closeness = 10 - ((dr < 0 ? -dr : dr) + (df < 0 ? -df : df));
        int seventh   = (rank_of(s) == SEVENTH) & seventh_bonus;
        opening += closeness + 10 * seventh;
        endgame += closeness + 20 * seventh;
    }
    return {opening, endgame, attackers, weight};
}

template <bool HW>
[[gnu::always_inline]] static inline void pieces_terms(const Position& pos, EvalInfo& info) {
    PieceSums white                = pieces_side<WHITE, HW>(pos, info.king_danger[BLACK]);
    PieceSums black                = pieces_side<BLACK, HW>(pos, info.king_danger[WHITE]);
    info.king_attackers[BLACK]     = white.attackers;
    info.king_attack_weight[BLACK] = white.weight;
    info.king_attackers[WHITE]     = black.attackers;
    info.king_attack_weight[WHITE] = black.weight;
    info.opening += white.opening - black.opening;
    info.endgame += white.endgame - black.endgame;
}

// The same term twice: with the processor's population count, and with the table for a
// processor without one.
[[gnu::target("popcnt")]] static void pieces_popcnt(const Position& pos, EvalInfo& info) {
    pieces_terms<true>(pos, info);
}
static void pieces_table(const Position& pos, EvalInfo& info) { pieces_terms<false>(pos, info); }

void eval_pieces(const Position& pos, EvalInfo& info) {
    if (eval_popcnt)
        pieces_popcnt(pos, info);
    else
        pieces_table(pos, info);
}

} // namespace orbelin
