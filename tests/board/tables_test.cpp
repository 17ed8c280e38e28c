// Attack tables against a slow ray-walking reference, and the documented table entries.
#include "board/tables.h"
#include "test_util.h"

#include <cstring>
#include <gtest/gtest.h>

namespace orbelin {
namespace {

// A position holding only an occupancy (as white pawns' colour slot) and its rotated images.
void set_occupancy(Position& pos, Bitboard occ) {
    std::memset(&pos, 0, sizeof pos);
    pos.bitboards[OCC_WHITE] = occ;
    for (Bitboard b = occ; b;)
        rotated_toggle(pos, pop_lsb(b));
}

// Walks a ray square by square on the plain occupancy, keeping the first blocker.
Bitboard walk(int s, int df, int dr, Bitboard occ) {
    Bitboard set = 0;
    for (int f = file_of(s) + df, r = rank_of(s) + dr; f >= 0 && f < 8 && r >= 0 && r < 8;
         f += df, r += dr) {
        set |= bit(8 * r + f);
        if (occ & bit(8 * r + f)) break;
    }
    return set;
}

Bitboard squares(std::initializer_list<const char*> names) {
    Bitboard b = 0;
    for (const char* name : names)
        b |= bit(sq(name));
    return b;
}

TEST(Tables, SlidersMatchRayWalkOverManyOccupancies) {
    auto pos   = std::make_unique<Position>();
    GRand* rng = g_rand_new_with_seed(12345);
    for (int trial = 0; trial < 3000; trial++) {
        // Sparse and dense boards alike: AND/OR of random words.
        Bitboard a   = Bitboard(g_rand_int(rng)) << 32 | g_rand_int(rng);
        Bitboard b   = Bitboard(g_rand_int(rng)) << 32 | g_rand_int(rng);
        Bitboard occ = trial % 3 == 0 ? a & b : trial % 3 == 1 ? a : a | b;
        set_occupancy(*pos, occ);
        for (int s = 0; s < 64; s++) {
            ASSERT_EQ(rank_attacks_of(*pos, s), walk(s, 1, 0, occ) | walk(s, -1, 0, occ))
                << "rank s=" << s << " occ=" << occ;
            ASSERT_EQ(file_attacks_of(*pos, s), walk(s, 0, 1, occ) | walk(s, 0, -1, occ))
                << "file s=" << s << " occ=" << occ;
            ASSERT_EQ(l45_attacks_of(*pos, s), walk(s, -1, 1, occ) | walk(s, 1, -1, occ))
                << "l45 s=" << s << " occ=" << occ;
            ASSERT_EQ(r45_attacks_of(*pos, s), walk(s, 1, 1, occ) | walk(s, -1, -1, occ))
                << "r45 s=" << s << " occ=" << occ;
        }
    }
    g_rand_free(rng);
}

TEST(Tables, DocumentedEntries) {
    EXPECT_EQ(rank_attacks[sq("a1")][0], squares({"b1", "c1", "d1", "e1", "f1", "g1", "h1"}));
    // Pattern bit j is the square of file j + 1 on the rank: f1 is bit 4.
    EXPECT_EQ(rank_attacks[sq("d1")][1 << 4], squares({"a1", "b1", "c1", "e1", "f1"}));
    // On a file pattern bit j is rank index 6 - j: e6 (rank index 5) is bit 1.
    EXPECT_EQ(file_attacks[sq("e4")][1 << 1], squares({"e1", "e2", "e3", "e5", "e6"}));
    EXPECT_EQ(diag_l45_attacks[sq("h1")][0], squares({"g2", "f3", "e4", "d5", "c6", "b7", "a8"}));
    EXPECT_EQ(diag_r45_attacks[sq("a1")][0], squares({"b2", "c3", "d4", "e5", "f6", "g7", "h8"}));
    for (int p = 0; p < 64; p++)
        EXPECT_EQ(diag_l45_attacks[sq("h8")][p], 0u);
    EXPECT_EQ(king_zone[sq("e4")], 0x7C7C7C7C7C00ULL); // c2..g6
    EXPECT_EQ(popcount(king_zone[sq("e4")]), 25);
    EXPECT_EQ(king_zone[sq("a1")], squares({"a1", "b1", "c1", "a2", "b2", "c2", "a3", "b3", "c3"}));
    EXPECT_EQ(popcount16[65535], 16);
    EXPECT_EQ(popcount16[0x8001], 2);
    EXPECT_EQ(queen_rays[sq("d4")], rook_rays[sq("d4")] | bishop_rays[sq("d4")]);
    EXPECT_EQ(popcount(queen_rays[sq("d4")]), 27);
}

TEST(Tables, DiagonalShiftRows) {
    const int r45_rank1[8] = {1, 58, 51, 44, 37, 30, 23, 16};
    const int r45_rank2[8] = {9, 1, 58, 51, 44, 37, 30, 23};
    const int r45_rank8[8] = {57, 49, 41, 33, 25, 17, 9, 1};
    const int l45_rank1[8] = {9, 17, 25, 33, 41, 49, 57, 1};
    const int l45_rank3[8] = {25, 33, 41, 49, 57, 1, 10, 19};
    const int l45_rank8[8] = {1, 10, 19, 28, 37, 46, 55, 64};
    for (int f = 0; f < 8; f++) {
        SCOPED_TRACE(f);
        EXPECT_EQ(r45_shift[f], r45_rank1[f]);
        EXPECT_EQ(r45_shift[8 + f], r45_rank2[f]);
        EXPECT_EQ(r45_shift[56 + f], r45_rank8[f]);
        EXPECT_EQ(l45_shift[f], l45_rank1[f]);
        EXPECT_EQ(l45_shift[16 + f], l45_rank3[f]);
        EXPECT_EQ(l45_shift[56 + f], l45_rank8[f]);
    }
}

TEST(Tables, StartPositionOccupancyCountsThirtyTwo) {
    PositionPtr pos(position_new());
    Bitboard occ = occupancy(*pos);
    int count    = popcount16[occ & 0xFFFF] + popcount16[occ >> 16 & 0xFFFF] +
                popcount16[occ >> 32 & 0xFFFF] + popcount16[occ >> 48];
    EXPECT_EQ(count, 32);
}

} // namespace
} // namespace orbelin
