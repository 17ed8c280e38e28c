// The evaluation counts bits either with the processor's population-count instruction or with
// the popcount16 table; both copies of the code must give every position the same score.
#include "eval_checks.h"
#include "moves/make.h"
#include "moves/picker.h"

#include <glib.h>
#include <gtest/gtest.h>

namespace orbelin {
namespace {

// Openings, middlegames, endgames with passed pawns, promoted pieces, trapped bishops.
const char* const POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P3/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1",
    "2q1rr1k/3bbnnp/p2p1pp1/2pPp3/PpP1P1P1/1P2BNNP/2BQ1PRK/7R b - - 0 1",
    "3r1k2/4npp1/1ppr3p/p6P/P2PPPP1/1NR5/5K2/2R5 w - - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "B5k1/1p3ppp/1p6/8/8/8/5PPP/6K1 w - - 0 1",
    "6k1/8/8/3P4/8/8/2p5/1K6 w - - 0 1",
    "QQQ5/8/8/7k/8/8/1ppp4/4K2q w - - 0 1",
    "r1bqkbnr/pppp1ppp/2n5/4p3/3PP3/8/PPP2PPP/RNBQKBNR w KQkq - 0 3",
};

bool cpu_has_popcnt() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("popcnt") != 0;
}

// The score of the position with the given way of counting, over the window.
int evaluate_counting(const Position& pos, bool popcnt, int alpha, int beta) {
    bool saved  = eval_popcnt;
    eval_popcnt = popcnt;
    int score   = evaluate(pos, alpha, beta);
    eval_popcnt = saved;
    return score;
}

// Both ways, over the full window and windows that let the lazy exit fire, and against the
// traced evaluation; the pawn structure is computed afresh both ways.
void expect_same_counts(const Position& pos) {
    static const int WINDOWS[][2] = {{-30000, 30000}, {-10, 10}, {300, 301}, {-301, -300}};
    for (const auto& w : WINDOWS) {
        int table = evaluate_counting(pos, false, w[0], w[1]);
        EXPECT_EQ(evaluate_counting(pos, true, w[0], w[1]), table) << w[0] << " " << w[1];
        EvalTrace trace;
        EXPECT_EQ(evaluate_traced(pos, w[0], w[1], &trace), table) << w[0] << " " << w[1];
    }
    bool saved  = eval_popcnt;
    eval_popcnt = false;
    Bitboard table_passers[2];
    std::uint64_t table = pawn_structure(pos, table_passers);
    eval_popcnt         = true;
    Bitboard passers[2];
    EXPECT_EQ(pawn_structure(pos, passers), table);
    EXPECT_EQ(passers[WHITE], table_passers[WHITE]);
    EXPECT_EQ(passers[BLACK], table_passers[BLACK]);
    eval_popcnt = saved;
}

TEST(EvalBitCount, InstructionAndTableGiveTheSameScores) {
    if (!cpu_has_popcnt()) GTEST_SKIP() << "the processor has no popcnt instruction";
    EXPECT_TRUE(eval_popcnt); // found at start-up
    pawn_hash_alloc();
    RootMoveList* roots = g_new(RootMoveList, 1);
    for (const char* fen : POSITIONS) {
        SCOPED_TRACE(fen);
        auto pos = make_position(fen);
        expect_same_counts(*pos);
        legal_moves(*pos, *roots);
        for (std::uint32_t i = 0; i < roots->count; i++) {
            make_move(*pos, roots->moves[i].move);
            expect_same_counts(*pos);
            unmake_move(*pos);
        }
    }
    g_free(roots);
}

} // namespace
} // namespace orbelin
