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

// Relative rank of a square for colour c (0 = c's first rank).
static int relative_rank(int c, int square) {
    return c == WHITE ? rank_of(square) : 7 - rank_of(square);
}

// Colour c's piece scores, added to opening_sum and endgame_sum; fills the attack counts of
// the enemy king. The sums build up in locals, which stay in registers.
static void pieces_side(const Position& pos, int c, EvalInfo& info, int& opening_sum,
                        int& endgame_sum) {
    const Bitboard* bb = pos.bitboards;
    int opening = 0, endgame = 0;
    int e              = c ^ 1;
    int ek             = lsb(bb[WHITE_KING + e]);
    Bitboard near_king = king_attacks[ek];
    Bitboard zone      = king_zone[ek];
    Bitboard target    = ~bb[OCC_WHITE + c];
    Bitboard own_pawns = bb[WHITE_PAWN + c], enemy_pawns = bb[WHITE_PAWN + e];
    int seventh        = c == WHITE ? 6 : 1;
    bool seventh_bonus = (enemy_pawns & rank_mask[seventh]) || relative_rank(c, ek) == 7;
    int attackers = 0, weight = 0;

    for (Bitboard b = bb[WHITE_KNIGHT + c]; b;) {
        int s           = pop_lsb(b);
        Bitboard attack = knight_attacks[s];
        if (attack & near_king) attackers++, weight += 1;
        int n = bit_count(attack & target);
        opening += 4 * (n - 4);
        endgame += 4 * (n - 4);
        // Own pawns diagonally behind the knight (pawn_attacks of the other colour from it).
        opening += bit_count(pawn_attacks[e][s] & own_pawns) * outpost_bonus[c][s];
    }
    for (Bitboard b = bb[WHITE_BISHOP + c]; b;) {
        int s           = pop_lsb(b);
        Bitboard attack = bishop_attacks_of(pos, s);
        if ((bishop_rays[s] & near_king) && (attack & zone)) attackers++, weight += 1;
        int n = bit_count(attack & target);
        opening += 5 * (n - 6);
        endgame += 5 * (n - 6);
    }
    for (Bitboard b = bb[WHITE_ROOK + c]; b;) {
        int s           = pop_lsb(b);
        Bitboard attack = rook_attacks_of(pos, s);
        if ((rook_rays[s] & near_king) && (attack & zone)) attackers++, weight += 2;
        int n = bit_count(attack & target);
        opening += 2 * (n - 7);
        endgame += 4 * (n - 7);
        Bitboard file = file_mask[file_of(s)];
        if (own_pawns & file) {
            opening -= 10;
            endgame -= 10;
        } else {
            if (!(enemy_pawns & file)) opening += 10, endgame += 10;
            if (info.king_danger[e]) {
                int distance = file_of(s) - file_of(ek);
                if (distance == 0) opening += 20;
                if (distance == 1 || distance == -1) opening += 10;
            }
        }
        if (rank_of(s) == seventh && seventh_bonus) opening += 20, endgame += 40;
    }
    for (Bitboard b = bb[WHITE_QUEEN + c]; b;) {
        int s = pop_lsb(b);
        if ((queen_rays[s] & near_king) &&
            ((rook_attacks_of(pos, s) | bishop_attacks_of(pos, s)) & zone))
            attackers++, weight += 4;
        int dr = rank_of(s) - rank_of(ek), df = file_of(s) - file_of(ek);
        int closeness = 10 - ((dr < 0 ? -dr : dr) + (df < 0 ? -df : df));
        opening += closeness;
        endgame += closeness;
        if (rank_of(s) == seventh && seventh_bonus) opening += 10, endgame += 20;
    }
    info.king_attackers[e]     = attackers;
    info.king_attack_weight[e] = weight;
    opening_sum += opening;
    endgame_sum += endgame;
}

void eval_pieces(const Position& pos, EvalInfo& info) {
    int white_opening = 0, white_endgame = 0, black_opening = 0, black_endgame = 0;
    pieces_side(pos, WHITE, info, white_opening, white_endgame);
    pieces_side(pos, BLACK, info, black_opening, black_endgame);
    info.opening += white_opening - black_opening;
    info.endgame += white_endgame - black_endgame;
}

} // namespace orbelin
