// Colour symmetry: a position and its colour-flipped mirror evaluate to the same score for the
// side to move, term by term, over the test suites and perft walks. Also the lazy exit.
#include "eval_checks.h"
#include "moves/make.h"
#include "moves/picker.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orbelin {
namespace {

// Starting points of the walks: openings, middlegames, castling and en-passant chances,
// promotions, and endgames with few men (rule-table and passed-pawn territory).
const char* const WALK_STARTS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P3/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4",
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "8/8/4k3/8/2p5/8/B2K4/8 w - - 0 1",
    "8/8/8/3k4/8/8/3PK3/8 w - - 0 1",
    "8/8/8/8/4k3/8/2K5/5RN1 w - - 0 1",
    "8/5k2/8/8/8/2B5/2K2N2/8 w - - 0 1",
    "8/1P4k1/8/8/8/8/6p1/1K6 w - - 0 1",
    "8/8/3k4/8/8/3K4/2q5/1Q6 w - - 0 1",
};

// The two-bishop mate formula is deliberately lopsided (index 4 counts 4 on both axes).
bool two_bishop_mate(const Position& pos) {
    if (bit_count(occupancy(pos)) != 4) return false;
    for (int c = WHITE; c <= BLACK; c++)
        if (bit_count(pos.bitboards[WHITE_BISHOP + c]) == 2 &&
            bit_count(pos.bitboards[OCC_WHITE + (c ^ 1)]) == 1)
            return true;
    return false;
}

struct MirrorCounts {
    int positions = 0;
    int lazy      = 0; // narrow-window evaluations that took the lazy exit
};

// Compares the position with its mirror: the full score, every term (negated, White's view),
// and the score for two narrow windows around it.
void check_mirror(const Position& pos, Position& scratch, MirrorCounts& counts) {
    if (two_bishop_mate(pos)) return;
    std::string fen = mirror_fen(pos);
    ASSERT_TRUE(position_set_fen(scratch, fen.c_str())) << fen;
    EvalTrace a, b;
    int score    = evaluate_traced(pos, -30000, 30000, &a);
    int mirrored = evaluate_traced(scratch, -30000, 30000, &b);
    counts.positions++;
    EXPECT_EQ(score, mirrored) << fen;
    EXPECT_EQ(a.exit, b.exit) << fen;
    EXPECT_EQ(a.phase, b.phase) << fen;
    for (int t = 0; t < TERM_COUNT; t++) {
        EXPECT_EQ(a.opening[t], -b.opening[t]) << TERM_NAMES[t] << " in " << fen;
        EXPECT_EQ(a.endgame[t], -b.endgame[t]) << TERM_NAMES[t] << " in " << fen;
    }
    for (int offset : {-250, 230}) {
        EvalTrace lazy;
        int alpha = score + offset, beta = alpha + 1;
        int s = evaluate_traced(pos, alpha, beta, &lazy);
        EXPECT_EQ(s, evaluate(scratch, alpha, beta)) << fen << " window " << alpha;
        if (lazy.exit == EVAL_EXIT_LAZY) counts.lazy++;
    }
}

void walk(Position& pos, Position& scratch, int depth, MirrorCounts& counts) {
    check_mirror(pos, scratch, counts);
    if (depth == 0 || ::testing::Test::HasFailure()) return;
    MoveList list;
    list.stage = 0;
    while (next_move(pos, list)) {
        walk(pos, scratch, depth - 1, counts);
        unmake_move(pos);
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(EvalMirror, PerftWalks) {
    pawn_hash_alloc();
    PositionPtr scratch(position_new());
    MirrorCounts counts;
    for (const char* fen : WALK_STARTS) {
        SCOPED_TRACE(fen);
        auto pos = make_position(fen);
        walk(*pos, *scratch, 2, counts);
        if (HasFailure()) return;
    }
    EXPECT_GT(counts.positions, 10000);
    EXPECT_GT(counts.lazy, 1000); // the narrow windows reached the lazy exit
}

// The test suites shipped beside the repository (and every position one move from each).
TEST(EvalMirror, SuitePositions) {
    pawn_hash_alloc();
    std::string here = __FILE__; // <repo>/tests/eval/mirror_test.cpp
    std::string root = here.substr(0, here.rfind("/tests/eval/"));
    std::vector<std::string> fens;
    for (const char* name : {"bk", "ecm", "sts", "wac"}) {
        std::ifstream file(root + "/../shared/data/suites/" + name + ".epd");
        for (std::string line; std::getline(file, line);)
            if (!line.empty()) fens.push_back(line);
    }
    if (fens.empty()) GTEST_SKIP() << "no suites beside " << root;
    PositionPtr pos(position_new()), scratch(position_new());
    MirrorCounts counts;
    for (const std::string& fen : fens) {
        ASSERT_TRUE(position_set_fen(*pos, fen.c_str())) << fen;
        walk(*pos, *scratch, 1, counts);
        if (HasFailure()) return;
    }
    EXPECT_GT(counts.positions, 50000);
}

TEST(EvalLazyExit, NeverWithAllPiecesOnTheBoard) {
    auto pos = make_position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EvalTrace trace;
    EXPECT_EQ(evaluate_traced(*pos, 5000, 5001, &trace), 20);
    EXPECT_EQ(trace.exit, EVAL_EXIT_FULL);
    EXPECT_EQ(evaluate_traced(*pos, -5001, -5000, &trace), 20);
    EXPECT_EQ(trace.exit, EVAL_EXIT_FULL);
}

// Once a minor piece is off the board the exit fires exactly 200 outside the window, and
// answers the blend of the terms up to the patterns.
TEST(EvalLazyExit, FiresAtTwoHundredOutsideTheWindow) {
    pawn_hash_alloc();
    for (const char* fen :
         {"r3k2r/p1ppqpb1/1n2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
          "r3k2r/p1ppqpb1/1n2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1"}) {
        SCOPED_TRACE(fen);
        auto pos = make_position(fen);
        EvalTrace full;
        evaluate_traced(*pos, -30000, 30000, &full);
        ASSERT_GT(full.phase, 6);
        int opening = 0, endgame = 0;
        for (int t = TERM_MATERIAL; t <= TERM_PATTERNS; t++)
            opening += full.opening[t], endgame += full.endgame[t];
        int early = ((256 - full.phase) * opening + full.phase * endgame) / 256;
        if (pos->side == BLACK) early = -early;

        EvalTrace trace;
        EXPECT_EQ(evaluate_traced(*pos, early - 300, early - 200, &trace), early);
        EXPECT_EQ(trace.exit, EVAL_EXIT_LAZY);
        EXPECT_EQ(evaluate_traced(*pos, early + 200, early + 300, &trace), early);
        EXPECT_EQ(trace.exit, EVAL_EXIT_LAZY);
        evaluate_traced(*pos, early - 300, early - 199, &trace);
        EXPECT_EQ(trace.exit, EVAL_EXIT_FULL);
        evaluate_traced(*pos, early + 199, early + 300, &trace);
        EXPECT_EQ(trace.exit, EVAL_EXIT_FULL);
    }
}

} // namespace
} // namespace orbelin
