// Attack detection by every piece kind with blocking, the check test and the repetition count.
#include "board/attacks.h"
#include "test_util.h"

#include <gtest/gtest.h>

namespace orbelin {
namespace {

TEST(Attacks, CheckByEveryPieceKindAndBlocking) {
    struct Case {
        const char* fen;
        int in_check;
    };
    const Case cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0},
        {"4k3/8/3N4/8/8/8/8/4K3 b - - 0 1", 1},  // knight
        {"4k3/3P4/8/8/8/8/8/4K3 b - - 0 1", 1},  // white pawn attacks upwards
        {"4k3/4P3/8/8/8/8/8/4K3 b - - 0 1", 0},  // a pawn in front does not attack
        {"8/8/8/8/8/8/3p4/4K2k w - - 0 1", 1},   // black pawn attacks downwards
        {"r3K3/8/8/8/8/8/8/7k w - - 0 1", 1},    // rook along the rank
        {"r1N1K3/8/8/8/8/8/8/7k w - - 0 1", 0},  // ... blocked by the king's own knight
        {"r1n1K3/8/8/8/8/8/8/7k w - - 0 1", 0},  // ... or by a piece of the attacker
        {"4k3/8/8/8/B7/8/8/4K3 b - - 0 1", 1},   // bishop on the a1-h8 direction
        {"4k3/8/8/7B/8/8/8/4K3 b - - 0 1", 1},   // bishop on the a8-h1 direction
        {"4k3/8/5p2/7B/8/8/8/4K3 b - - 0 1", 1}, // a pawn off the line blocks nothing
        {"4k3/5p2/8/7B/8/8/8/4K3 b - - 0 1", 0}, // on the line it blocks
        {"4k3/8/8/8/8/8/8/4QK2 b - - 0 1", 1},   // queen along the file
        {"4k3/4p3/8/8/8/8/8/4QK2 b - - 0 1", 0}, // blocked on the file
        {"7k/8/8/8/8/8/8/Q3K3 b - - 0 1", 1},    // queen along the long diagonal
        {"rnbqkbnr/ppppp1pp/5p2/7Q/4P3/8/PPPP1PPP/RNB1KBNR b KQkq - 1 2", 1}, // 1.e4 f6 2.Qh5+
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        auto pos = make_position(c.fen);
        EXPECT_EQ(in_check_test(*pos), c.in_check);
        EXPECT_EQ(pos->in_check, c.in_check);
    }
}

TEST(Attacks, SquaresAttackedByColour) {
    auto pos = make_position("4k3/8/8/4p3/4P3/8/3K4/8 w - - 0 1");
    struct Case {
        const char* square;
        int by, attacked;
    };
    const Case cases[] = {
        {"d5", WHITE, 1}, {"f5", WHITE, 1}, {"e5", WHITE, 0}, {"d3", WHITE, 1}, // d3 by the king
        {"e3", WHITE, 1}, {"e4", WHITE, 0}, {"d4", BLACK, 1}, {"f4", BLACK, 1},
        {"e4", BLACK, 0}, {"d7", BLACK, 1}, {"d6", BLACK, 0}, {"c6", BLACK, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.square);
        EXPECT_EQ(square_attacked(*pos, sq(c.square), c.by), c.attacked);
    }
}

TEST(Repetition, CountsEvenDistancesSinceTheLastIrreversibleMove) {
    struct Case {
        int static_moves;
        std::initializer_list<int> matching_distances;
        int expected;
    };
    const Case cases[] = {
        {3, {2}, 0},    // fewer than four reversible half-moves: nothing is read
        {4, {4}, 1},    // 1.Nf3 Nf6 2.Ng1 Ng8
        {8, {4, 8}, 2}, // twice round
        {8, {6}, 1},    // only the distance six matches
        {8, {2}, 0},    // odd plies apart never count
        {8, {4, 6}, 1}, // after a match the next distance tried is four further
        {6, {8}, 0},    // beyond the last irreversible move
        {12, {4, 8, 12}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.static_moves);
        PositionPtr pos(position_new());
        pos->ply          = 20;
        pos->static_moves = c.static_moves;
        for (int d = 1; d <= 20; d++)
            pos->history[pos->ply - d].key = pos->key ^ (d * 7919);
        for (int d : c.matching_distances)
            pos->history[pos->ply - d].key = pos->key;
        EXPECT_EQ(repetition_count(*pos), c.expected);
    }
}

} // namespace
} // namespace orbelin
