#pragma once
// Geometry and attack tables. The small ones are computed by the compiler; the slider tables,
// popcount16 and the hash keys are filled by init_tables at start-up. All are read-only after it.
#include "board/position.h"

#include <array>
#include <cstdint>
#include <glib.h>

namespace orbelin {

using SquareTable = std::array<int, 64>;
using BoardTable  = std::array<Bitboard, 64>;

// Rotated square maps: the bit a square takes in L90 (files as rows, rank 8 at the low end),
// L45 (a8-h1 diagonals in rows) and R45 (a1-h8 diagonals in rows).
consteval SquareTable make_l90_map() {
    SquareTable t{};
    for (int s = 0; s < 64; s++)
        t[s] = 8 * file_of(s) + (7 - rank_of(s));
    return t;
}
consteval SquareTable make_l45_map() {
    SquareTable t{};
    for (int s = 0; s < 64; s++)
        t[s] = (9 * s + 8) % 64;
    return t;
}
consteval SquareTable make_r45_map() {
    SquareTable t{};
    for (int s = 0; s < 64; s++)
        t[s] = (57 * s) % 64;
    return t;
}
inline constexpr SquareTable l90_map = make_l90_map();
inline constexpr SquareTable l45_map = make_l45_map();
inline constexpr SquareTable r45_map = make_r45_map();
static_assert(l90_map[0] == 7 && l90_map[8] == 6 && l90_map[1] == 15); // a1, a2, b1
static_assert(l45_map[0] == 8 && l45_map[7] == 7 && l45_map[56] == 0 && l45_map[63] == 63);
static_assert(r45_map[0] == 0 && r45_map[1] == 57 && r45_map[7] == 15 && r45_map[63] == 7);

// Shift that brings the six inner squares of a square's diagonal to the low bits of L45 / R45:
// one past the diagonal's lowest-file square. l45_shift[h8] is 64 (that diagonal is h8 alone).
consteval SquareTable make_l45_shift() {
    SquareTable t{};
    for (int s = 0; s < 64; s++) {
        int sum   = rank_of(s) + file_of(s);
        int first = sum <= 7 ? 8 * sum : 8 * 7 + (sum - 7);
        t[s]      = 1 + l45_map[first];
    }
    return t;
}
consteval SquareTable make_r45_shift() {
    SquareTable t{};
    for (int s = 0; s < 64; s++) {
        int r = rank_of(s), f = file_of(s);
        int first = r >= f ? 8 * (r - f) : f - r;
        t[s]      = 1 + r45_map[first];
    }
    return t;
}
inline constexpr SquareTable l45_shift = make_l45_shift();
inline constexpr SquareTable r45_shift = make_r45_shift();
static_assert(l45_shift[0] == 9 && l45_shift[7] == 1 && l45_shift[63] == 64 && l45_shift[56] == 1);
static_assert(r45_shift[0] == 1 && r45_shift[1] == 58 && r45_shift[7] == 16 && r45_shift[56] == 57);

// Leaper tables, built by stepping the offsets and dropping steps that leave the board.
consteval BoardTable make_leaper(const int (&steps)[8][2]) {
    BoardTable t{};
    for (int s = 0; s < 64; s++)
        for (const auto& step : steps) {
            int f = file_of(s) + step[0], r = rank_of(s) + step[1];
            if (f >= 0 && f < 8 && r >= 0 && r < 8) t[s] |= bit(8 * r + f);
        }
    return t;
}
inline constexpr int KNIGHT_STEPS[8][2]    = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                              {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
inline constexpr int KING_STEPS[8][2]      = {{1, 0},  {1, 1},   {0, 1},  {-1, 1},
                                              {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
inline constexpr BoardTable knight_attacks = make_leaper(KNIGHT_STEPS);
inline constexpr BoardTable king_attacks   = make_leaper(KING_STEPS);
static_assert(knight_attacks[0] == (bit(10) | bit(17))); // a1: c2, b3
static_assert(king_attacks[0] == (bit(1) | bit(8) | bit(9)));

// pawn_attacks[colour][s]: the squares a pawn of that colour on s attacks.
consteval std::array<BoardTable, 2> make_pawn_attacks() {
    std::array<BoardTable, 2> t{};
    for (int s = 0; s < 64; s++) {
        Bitboard b  = bit(s);
        t[WHITE][s] = ((b << 7) & ~FILE_H) | ((b << 9) & ~FILE_A);
        t[BLACK][s] = ((b >> 9) & ~FILE_H) | ((b >> 7) & ~FILE_A);
    }
    return t;
}
inline constexpr std::array<BoardTable, 2> pawn_attacks = make_pawn_attacks();
static_assert(pawn_attacks[WHITE][12] == (bit(19) | bit(21))); // e2: d3, f3
static_assert(pawn_attacks[BLACK][24] == bit(17));             // a4: b3

// The 5-by-5 block of squares centred on a square, cut off at the edges.
consteval BoardTable make_king_zone() {
    BoardTable t{};
    for (int s = 0; s < 64; s++) {
        Bitboard k = king_attacks[s];
        t[s]       = k | ((k << 9) & ~FILE_A) | ((k >> 9) & ~FILE_H) | ((k << 7) & ~FILE_H) |
               ((k >> 7) & ~FILE_A);
    }
    return t;
}
inline constexpr BoardTable king_zone = make_king_zone();

// Filled by init_tables: count of set bits of each 16-bit value, and the slider tables indexed
// [square][six-bit occupancy pattern of the line]; each set includes the first blocker.
inline std::uint8_t popcount16[65536];
inline Bitboard rank_attacks[64][64];
inline Bitboard file_attacks[64][64];
inline Bitboard diag_l45_attacks[64][64]; // steps +7 and -7
inline Bitboard diag_r45_attacks[64][64]; // steps +9 and -9
inline Bitboard bishop_rays[64];
inline Bitboard rook_rays[64];
inline Bitboard queen_rays[64];

// Builds every start-up table in its fixed order: popcount16, the hash keys (drawn from rng),
// the slider tables and rays, the piece-square table. Runs once before anything reads a table.
void init_tables(GRand* rng);

// Slider attack sets from the position's occupancy and rotated boards.
inline Bitboard rank_attacks_of(const Position& pos, int s) {
    return rank_attacks[s][(occupancy(pos) >> (8 * rank_of(s) + 1)) & 63];
}
inline Bitboard file_attacks_of(const Position& pos, int s) {
    return file_attacks[s][(pos.bitboards[L90] >> (8 * file_of(s) + 1)) & 63];
}
inline Bitboard l45_attacks_of(const Position& pos, int s) {
    // l45_shift is 64 only for h8, whose table row is empty whatever the pattern.
    return diag_l45_attacks[s][(pos.bitboards[L45] >> (l45_shift[s] & 63)) & 63];
}
inline Bitboard r45_attacks_of(const Position& pos, int s) {
    return diag_r45_attacks[s][(pos.bitboards[R45] >> r45_shift[s]) & 63];
}
inline Bitboard bishop_attacks_of(const Position& pos, int s) {
    return l45_attacks_of(pos, s) | r45_attacks_of(pos, s);
}
inline Bitboard rook_attacks_of(const Position& pos, int s) {
    return rank_attacks_of(pos, s) | file_attacks_of(pos, s);
}

// The three rotated bits of each square, as whole bitboards: toggling a square then costs
// three loads from one row instead of three map lookups and three shifts. A row is padded to
// 32 bytes so that it never straddles a cache line.
struct RotatedBits {
    Bitboard l90, l45, r45, unused;
};
consteval std::array<RotatedBits, 64> make_rotated_bits() {
    std::array<RotatedBits, 64> t{};
    for (int s = 0; s < 64; s++)
        t[s] = {bit(l90_map[s]), bit(l45_map[s]), bit(r45_map[s]), 0};
    return t;
}
alignas(32) inline constexpr std::array<RotatedBits, 64> rotated_bits = make_rotated_bits();

// Flips the three rotated bits of a square whose occupied/empty state changes.
inline void rotated_toggle(Position& pos, int s) {
    const RotatedBits& r = rotated_bits[s];
    pos.bitboards[L90] ^= r.l90;
    pos.bitboards[L45] ^= r.l45;
    pos.bitboards[R45] ^= r.r45;
}

} // namespace orbelin
