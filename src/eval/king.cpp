// King safety (shelter, pawn storm, piece attacks) and the rule table for the smallest endgames.
#include "eval/evaluate.h"

#include "eval/pawns.h"

#include <algorithm>
#include <array>
#include <bit>

namespace orbelin {

// Scale out of 256 by the number of attackers of a king: one attacker alone counts nothing.
static constexpr std::array<int, 16> attack_scale = {0,   0,   128, 192, 224, 240, 248, 252,
                                                     254, 255, 256, 256, 256, 256, 256, 256};

namespace {

constexpr int A1 = 0, B1 = 1, G1 = 6, H1 = 7;
constexpr int A2 = 8, B2 = 9, C2 = 10, F2 = 13, G2 = 14, H2 = 15;
constexpr int A3 = 16, B3 = 17, G3 = 22, H3 = 23;

// A king's pawn cover, seen from its own side: own pawns with the king's side at the bottom of
// the board, and the storm of the enemy pawns: byte x of `storm` holds the storm on file x and
// its neighbours, the sum over those files of 30 when the file's lowest enemy pawn stands on
// the third rank, 20 on the fourth, 10 on the fifth (at most 90, so the bytes never carry).
struct Cover {
    Bitboard own;
    Bitboard storm;
};

// The rank's eight squares as file bits.
unsigned rank_row(Bitboard b, int rank) { return unsigned(b >> 8 * rank) & 0xFF; }

// File bits spread to bytes: byte x is 1 when bit x is set, else 0. The multiply copies the
// eight bits into every byte, the mask keeps bit x in byte x, and the add carries any set bit
// of a byte into its top bit.
Bitboard file_bytes(unsigned files) {
    constexpr Bitboard ONES = 0x0101010101010101ULL, TOPS = 0x8080808080808080ULL;
    Bitboard b = (files * ONES) & 0x8040201008040201ULL;
    return (((b + ~TOPS) | b) & TOPS) >> 7;
}

Cover make_cover(Bitboard own, Bitboard enemy) {
    unsigned below = rank_row(enemy, 0) | rank_row(enemy, 1);
    unsigned third = rank_row(enemy, 2) & ~below;
    below |= third;
    unsigned fourth = rank_row(enemy, 3) & ~below;
    below |= fourth;
    unsigned fifth = rank_row(enemy, 4) & ~below;
    Bitboard files = 30 * file_bytes(third) + 20 * file_bytes(fourth) + 10 * file_bytes(fifth);
    return {own, files + (files << 8) + (files >> 8)};
}

// 36 less the square of the distance from the lowest own pawn on file x at rank k or above to
// the far rank: 0 for a pawn on the second rank, 36 with no pawn.
int shield(const Cover& cover, int x, int k) {
    Bitboard pawns = cover.own & file_mask[x] & (~Bitboard(0) << 8 * k);
    if (!pawns) return 36;
    int to_far = 7 - rank_of(lsb(pawns));
    return 36 - to_far * to_far;
}

// The storm on file x and its neighbours (files that exist).
int storms(const Cover& cover, int x) { return int(cover.storm >> 8 * x) & 0xFF; }

// The shield part of a shelter: twice file x's shield and once each neighbour's; a perfect
// shield (0) counts 11.
int shields(const Cover& cover, int x, int k) {
    int s = 2 * shield(cover, x, k);
    if (x > 0) s += shield(cover, x - 1, k);
    if (x < 7) s += shield(cover, x + 1, k);
    return s == 0 ? 11 : s;
}

int shelter(const Cover& cover, int x, int k) { return shields(cover, x, k) + storms(cover, x); }

// The king castled on either wing behind pawns that still cover it.
bool snug(const Cover& cover, int king) {
    auto has = [&](int s) { return (cover.own & bit(s)) != 0; };
    if (king == G1 || king == H1)
        return (has(G2) && (has(H2) || has(H3))) || (has(F2) && has(G3) && has(H2));
    if (king == B1 || king == A1)
        return (has(B2) && (has(A2) || has(A3))) || (has(C2) && has(B3) && has(A2));
    return false;
}

// The penalty of colour c's king (positive); may clear its king_danger.
int king_penalty(const Position& pos, int c, EvalInfo& info) {
    const Bitboard* bb = pos.bitboards;
    Bitboard own = bb[WHITE_PAWN + c], enemy = bb[WHITE_PAWN + (c ^ 1)];
    int king     = lsb(bb[WHITE_KING + c]);
    int kingside = CASTLE_WK, queenside = CASTLE_WQ;
    if (c == BLACK) {
        own   = flip_ranks(own);
        enemy = flip_ranks(enemy);
        king ^= 56;
        kingside  = CASTLE_BK;
        queenside = CASTLE_BQ;
    }
    const Cover cover = make_cover(own, enemy);
    int file          = file_of(king);
    if (info.king_danger[c] && snug(cover, king)) info.king_danger[c] = 0;
    // The storm on the king's files counts in its shelter and again on its own.
    int st = storms(cover, file);
    int sh = 0;
    if (info.king_danger[c]) {
        int now  = shields(cover, file, rank_of(king)) + st;
        int best = now;
        if (pos.castling & kingside) best = std::min(best, shelter(cover, 6, 0));
        if (pos.castling & queenside) best = std::min(best, shelter(cover, 1, 0));
        sh = (now + best) / 2;
    }
    int scale  = attack_scale[info.king_attackers[c] < 15 ? info.king_attackers[c] : 15];
    int attack = info.king_attack_weight[c] * 20 * scale / 256;
    return attack + sh + st;
}

} // namespace

void eval_king_safety(const Position& pos, EvalInfo& info) {
    int white = king_penalty(pos, WHITE, info);
    int black = king_penalty(pos, BLACK, info);
    info.opening += black - white;
}

namespace {

// Formula values are kept in quarters: 22.5 is 90 quarters, 11.25 is 45.
int quarters_to_score(int quarters) { return quarters / 4; }

int edge_distance(int s) {
    int f = file_of(s), r = rank_of(s);
    int d = f < 7 - f ? f : 7 - f;
    if (r < d) d = r;
    if (7 - r < d) d = 7 - r;
    return d;
}

bool dark_square(int s) { return (file_of(s) + rank_of(s)) % 2 == 0; }

// Distance to the nearer corner of the bishop's colour (a1 and h8 for a dark-square bishop).
int corner_distance(int king, int bishop) {
    bool dark = dark_square(bishop);
    int a     = square_distance(king, dark ? 0 : 7);
    int b     = square_distance(king, dark ? 63 : 56);
    return a < b ? a : b;
}

// max(f', r'): file and rank indices folded so that 0 is an edge and index 4 counts 4.
int centre_index(int s) {
    int f = file_of(s), r = rank_of(s);
    int ff = f <= 4 ? f : 7 - f, rr = r <= 4 ? r : 7 - r;
    return ff > rr ? ff : rr;
}

} // namespace

bool recognize_endgame(const Position& pos, int& score) {
    const Bitboard* bb = pos.bitboards;
    int men            = bit_count(bb[L90]);
    int diff           = pos.material[WHITE] - pos.material[BLACK];
    int strong         = diff >= 0 ? WHITE : BLACK;
    int weak           = strong ^ 1;
    int magnitude      = diff >= 0 ? diff : -diff;
    int weak_king      = lsb(bb[WHITE_KING + weak]);
    int kings          = square_distance(lsb(bb[WHITE_KING]), lsb(bb[BLACK_KING]));
    int quarters       = 0; // the formula value v, times four; 0 for a draw

    if (men == 2) {
        quarters = 0;
    } else if (men == 3) {
        if (magnitude == 500)
            quarters = 4320 - 90 * edge_distance(weak_king) - 45 * kings;
        else if (magnitude == 975)
            quarters = 4680 - 90 * edge_distance(weak_king) - 45 * kings;
        else if (magnitude != 300 && magnitude != 325)
            return false;
    } else if (men == 4) {
        bool bare_weak = bit_count(bb[OCC_WHITE + weak]) == 1;
        switch (magnitude) {
        case 0:
        case 210:
        case 235:
        case 200:
        case 175:
        case 25:
        case 600:
            quarters = 0;
            break;
        case 650: { // two bishops, or a queen against a bishop (not known here)
            Bitboard bishops = bb[WHITE_BISHOP + strong];
            if (!bare_weak || bit_count(bishops) != 2) return false;
            int first = lsb(bishops), second = 63 - std::countl_zero(bishops);
            bool one_colour = dark_square(first) == dark_square(second);
            quarters        = one_colour ? 0 : 3960 - 90 * centre_index(weak_king) - 45 * kings;
            break;
        }
        case 625: {
            int bishop = lsb(bb[WHITE_BISHOP + strong]);
            quarters   = 3600 - 90 * corner_distance(weak_king, bishop) - 45 * kings;
            break;
        }
        default:
            return false;
        }
    } else {
        return false;
    }
    int v = quarters_to_score(quarters);
    score = pos.side == strong ? v : -v;
    return true;
}

} // namespace orbelin
