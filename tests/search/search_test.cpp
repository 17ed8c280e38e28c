// The tree searches on positions with known answers, the root list's reordering, score text,
// and repeatable node counts.
#include "base/options.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "moves/generate.h"
#include "moves/make.h"
#include "search/report.h"
#include "search/search.h"
#include "search/tt.h"
#include "search_fixture.h"
#include "test_util.h"

#include <gtest/gtest.h>
#include <string>

namespace orbelin {
namespace {

class Search : public SearchFixture {
  protected:
    void SetUp() override {
        SearchFixture::SetUp();
        nodes_reset();
        output_enabled = false;
    }
    void TearDown() override {
        SearchFixture::TearDown();
        output_enabled = true;
    }
};

TEST_F(Search, MateStalemateAndDraws) {
    struct Case {
        const char* fen;
        int depth, score;
    };
    const Case cases[] = {
        {"7k/8/8/8/8/8/qq6/K7 w - - 0 1", 2, -MATE}, // mated at the root's child ply 0
        {"7k/8/8/8/8/1q6/2q5/K7 w - - 0 1", 2, 0},   // stalemate
        {"4k3/8/8/8/8/8/8/4K3 w - - 100 80", 3, 0},  // a bare draw still searches to 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        auto pos = make_position(c.fen);
        EXPECT_EQ(pv_search(*pos, -MATE, MATE, c.depth, 0, 1), c.score);
    }
    // Fifty reversible moves, or a position seen before, score 0 whatever the material.
    auto rich          = make_position("4k3/8/8/8/8/8/8/QQQQK3 w - - 0 1");
    rich->static_moves = 100;
    EXPECT_EQ(pv_search(*rich, -MATE, MATE, 3, 0, 1), 0);
}

TEST_F(Search, MateInOneFoundFromTheRoot) {
    // The child of a mating move scores -30000 at ply 0, so the root sees 30000.
    auto pos = make_position("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    ASSERT_TRUE(make_move(*pos, move_pack(MOVE_QUIET, sq("a1"), sq("a8"))));
    EXPECT_EQ(-pv_search(*pos, -MATE, MATE, 1, 0, 1), MATE);
}

TEST_F(Search, QuiescenceStandsPatAndStopsWhenTold) {
    auto quiet = make_position("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
    int eval   = evaluate(*quiet, -MATE, MATE);
    EXPECT_EQ(quiescence(*quiet, -MATE, MATE, 0), eval);
    EXPECT_EQ(quiescence(*quiet, eval + 10, eval + 20, 0), eval + 10);
    EXPECT_EQ(quiescence(*quiet, eval - 20, eval - 10, 0), eval);
    // A hanging queen is taken: a queen down becomes a pawn up.
    auto hanging = make_position("4k3/8/8/3q4/4P3/8/8/4K3 w - - 0 1");
    EXPECT_LT(evaluate(*hanging, -MATE, MATE), -500);
    EXPECT_GT(quiescence(*hanging, -MATE, MATE, 0), 50);
    stop_flag.store(1);
    std::uint64_t before = nodes_searched();
    EXPECT_EQ(quiescence(*hanging, -MATE, MATE, 0), -MATE);
    EXPECT_EQ(nodes_searched(), before);
    pondering.store(1); // a ponder search ignores the stop flag
    EXPECT_GT(quiescence(*hanging, -MATE, MATE, 0), 50);
    abort_flag.store(1); // but never the abort flag
    EXPECT_EQ(quiescence(*hanging, -MATE, MATE, 0), -MATE);
}

TEST_F(Search, FixedDepthSearchRepeatsItsNodeCount) {
    auto pos =
        make_position("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    std::uint64_t counts[2];
    for (auto& count : counts) {
        tt_clear();
        history_clear(); // the root list is ordered by what the last search learnt

        think(*pos, ~std::uint64_t(0), 6);
        count = nodes_searched();
    }
    EXPECT_GT(counts[0], 1000u);
    EXPECT_EQ(counts[0], counts[1]);
}

TEST(RootList, RepositionLiftsAboveLowerScoresOnly) {
    RootMoveList list{};
    list.count       = 4;
    const int old[4] = {50, 40, 40, 10};
    for (int i = 0; i < 4; i++)
        list.moves[i].move = Move(i + 1), list.moves[i].score = old[i];
    EXPECT_EQ(root_reposition(list, 3, 40, 5), 3); // equal scores do not overtake
    EXPECT_EQ(root_reposition(list, 3, 45, 5), 1); // lifted above the first lower score
    EXPECT_EQ(list.moves[1].move, 4u);
    EXPECT_EQ(list.moves[2].move, 2u);
    EXPECT_EQ(list.moves[3].move, 3u);
    EXPECT_EQ(list.moves[1].depth, 5u);
    EXPECT_EQ(root_reposition(list, 0, -100, 6), 0); // never moves down
    EXPECT_EQ(list.moves[0].score, -100);
}

TEST(Output, ScoreText) {
    struct Case {
        int score, root_side;
        const char* text;
    };
    const Case cases[] = {
        {30000, WHITE, "score mate 1 "},   {29998, WHITE, "score mate 2 "},
        {-29999, WHITE, "score mate -1 "}, {29960, WHITE, "score cp 29960 "},
        {30000, BLACK, "score mate 1 "},   {29998, BLACK, "score mate 2 "},
        {-29999, BLACK, "score mate -1 "}, {-29960, BLACK, "score cp -29960 "},
        {0, WHITE, "score cp 0 "},
    };
    for (const Case& c : cases) {
        char text[32];
        format_score(text, sizeof text, c.score, c.root_side);
        EXPECT_STREQ(text, c.text) << c.score;
    }
}

} // namespace
} // namespace orbelin
