// Leaf counts of the standard positions walked in-process with every invariant checked, and
// make/unmake round trips of every pseudo-legal move of the positions met on the way.
#include "move_checks.h"
#include "moves/generate.h"
#include "moves/make.h"
#include "moves/perft.h"
#include "moves/picker.h"

#include <gtest/gtest.h>
#include <vector>

namespace orbelin {
namespace {

struct PerftCase {
    const char* name;
    const char* fen;
    int depth;
    std::uint64_t leaves;
};

// Published counts; the last position's counts were checked against stockfish's perft.
const PerftCase STANDARD[] = {
    {"start", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 3, 8902},
    {"kiwipete", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 3, 97862},
    {"endgame", "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 4, 43238},
    {"promotions", "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 3, 9467},
    {"checks", "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 3, 62379},
    {"middlegame", "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P3/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 3,
     81467},
};

// perft that checks, after every make, the incremental fields against a fresh count and the
// bitboards against the board, and after every unmake that nothing changed.
std::uint64_t checked_perft(Position& pos, int depth) {
    if (depth == 0) return 1;
    MoveList list;
    list.stage          = 0;
    std::uint64_t count = 0;
    const Head before   = head_of(pos);
    while (next_move(pos, list)) {
        EXPECT_TRUE(fields_from_scratch(pos));
        position_verify(pos);
        count += checked_perft(pos, depth - 1);
        unmake_move(pos);
        EXPECT_TRUE(same_head(before, head_of(pos)));
        if (::testing::Test::HasFailure()) return count;
    }
    return count;
}

TEST(Perft, StandardPositionsWithEveryInvariantChecked) {
    for (const PerftCase& c : STANDARD) {
        SCOPED_TRACE(c.name);
        auto pos = make_position(c.fen);
        EXPECT_EQ(checked_perft(*pos, c.depth), c.leaves);
        EXPECT_EQ(perft(*pos, c.depth), c.leaves);
    }
}

// Makes every pseudo-legal move of the position directly: an illegal one must leave every
// field as it was, a legal one must come back exactly after unmake. Recurses depth plies.
void round_trips(Position& pos, int depth, int& legal, int& illegal) {
    MoveList captures, quiets;
    gen_captures(pos, captures);
    gen_quiets(pos, quiets);
    const Head before = head_of(pos);
    for (const MoveList* list : {&captures, &quiets})
        for (std::uint32_t i = 0; i < list->count; i++) {
            Move m = list->moves[i];
            if (!make_move(pos, m)) {
                illegal++;
                ASSERT_TRUE(same_head(before, head_of(pos))) << "illegal move " << m;
                continue;
            }
            legal++;
            ASSERT_EQ(pos.history[pos.ply - 1].move, m);
            if (depth > 1) round_trips(pos, depth - 1, legal, illegal);
            unmake_move(pos);
            ASSERT_TRUE(same_head(before, head_of(pos))) << "move " << m;
        }
}

// Every eighth start position and every position of play in the Chess960 reference, two plies
// deep with every invariant checked.
TEST(Perft, Chess960ReferenceWithEveryInvariantChecked) {
    const std::vector<PerftReference> reference = chess960_reference();
    for (std::size_t i = 0; i < reference.size(); i++) {
        if (i < CHESS960_REFERENCE_STARTS && i % 8 != 0) continue;
        SCOPED_TRACE(reference[i].fen);
        auto pos = make_position(reference[i].fen.c_str(), true);
        EXPECT_EQ(checked_perft(*pos, 2), reference[i].counts[1]);
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(MakeUnmake, EveryPseudoLegalMoveRoundTrips) {
    int legal = 0, illegal = 0;
    for (const PerftCase& c : STANDARD) {
        SCOPED_TRACE(c.name);
        auto pos = make_position(c.fen);
        round_trips(*pos, 2, legal, illegal);
    }
    // The walk met both kinds many times.
    EXPECT_GT(legal, 5000);
    EXPECT_GT(illegal, 100);
}

// The same over the Chess960 reference's positions of play, the hand-made castling cases
// first among them (king or rook already on its target, the two changing squares, a castling
// that would uncover the king along its rank).
TEST(MakeUnmake, EveryPseudoLegalChess960MoveRoundTrips) {
    const std::vector<PerftReference> reference = chess960_reference();
    int legal = 0, illegal = 0, castles = 0;
    for (std::size_t i = CHESS960_REFERENCE_STARTS; i < reference.size(); i += 2) {
        SCOPED_TRACE(reference[i].fen);
        auto pos = make_position(reference[i].fen.c_str(), true);
        MoveList quiets;
        gen_quiets(*pos, quiets);
        for (std::uint32_t m = 0; m < quiets.count; m++)
            castles += move_type(quiets.moves[m]) == MOVE_CASTLE;
        round_trips(*pos, 2, legal, illegal);
        if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GT(legal, 100000);
    EXPECT_GT(illegal, 5000);
    EXPECT_GT(castles, 100); // castling moves at the roots alone
}

} // namespace
} // namespace orbelin
