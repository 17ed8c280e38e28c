// Play at a chosen strength in-process: the levels, the weighted choice among the root moves,
// and whole searches at the lowest level, which must still take what is won outright and repeat
// themselves under a fixed seed.
#include "base/options.h"
#include "eval/pawns.h"
#include "moves/generate.h"
#include "search/search.h"
#include "search/strength.h"
#include "search/tt.h"
#include "search_fixture.h"
#include "test_util.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orbelin {
namespace {

TEST(StrengthLevel, RisesSteadilyWithTheElo) {
    StrengthLevel last = strength_level(OPTION_ELO_MIN);
    EXPECT_GT(last.temperature, 0);
    for (int elo = OPTION_ELO_MIN + 10; elo <= OPTION_ELO_MAX; elo += 10) {
        SCOPED_TRACE(elo);
        StrengthLevel level = strength_level(elo);
        EXPECT_GT(level.nodes, last.nodes);
        EXPECT_LE(level.temperature, last.temperature);
        // A free queen (or a piece the search sees won) is never given away by the choice.
        EXPECT_LE(level.max_loss, 300);
        EXPECT_LT(level.nodes, 2 * last.nodes); // no jump between neighbouring levels
        last = level;
    }
    EXPECT_EQ(strength_level(0).nodes, strength_level(OPTION_ELO_MIN).nodes);
    EXPECT_EQ(strength_level(99999).nodes, strength_level(OPTION_ELO_MAX).nodes);
}

// A searched root list with the given scores, best first, all at depth 6 unless given.
RootMoveList scored_list(std::vector<int> scores, std::vector<unsigned> depths = {}) {
    RootMoveList list{};
    list.count = std::uint32_t(scores.size());
    for (std::size_t i = 0; i < scores.size(); i++) {
        list.moves[i].move  = Move(i + 1);
        list.moves[i].score = scores[i];
        list.moves[i].depth = i < depths.size() ? depths[i] : 6;
    }
    return list;
}

// How often each of the first entries is picked in draws from a fixed seed.
std::vector<int> pick_counts(const RootMoveList& list, int count, const StrengthLevel& level,
                             int draws) {
    GRand* rand = g_rand_new_with_seed(12345);
    std::vector<int> counts(std::size_t(count), 0);
    for (int i = 0; i < draws; i++)
        counts[std::size_t(strength_pick(list, count, level, rand))]++;
    g_rand_free(rand);
    return counts;
}

TEST(StrengthPick, KeepsWhatIsWonAndPlaysWorseMovesMoreOftenAtLowerLevels) {
    const StrengthLevel lowest = strength_level(OPTION_ELO_MIN);
    const struct {
        const char* what;
        RootMoveList list;
        int count;
        StrengthLevel level;
    } best_only[] = {
        {"a mate", scored_list({MATE - 1, MATE - 3, 20, 10}), 4, lowest},
        {"the others lose too much", scored_list({650, 40, 30, -200}), 4, lowest},
        {"the others are unsearched", scored_list({10, 9, 8, 7}, {6, 0, 0, 0}), 4, lowest},
        {"a single candidate", scored_list({10, 9, 8, 7}), 1, lowest},
        {"no temperature", scored_list({10, 9, 8, 7}), 4, StrengthLevel{1000, 0, 0}},
    };
    for (const auto& c : best_only) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(pick_counts(c.list, c.count, c.level, 500)[0], 500);
    }

    // Close moves: all are played at the lowest level, the best most often, and the worse ones
    // less and less often as the level rises. Never one beyond the first candidates.
    const RootMoveList close = scored_list({30, 20, 10, 0, -5, -6});
    std::vector<int> worse;
    for (int elo : {OPTION_ELO_MIN, 1550, 1700, 1850, 2000, OPTION_ELO_MAX}) {
        SCOPED_TRACE(elo);
        std::vector<int> counts = pick_counts(close, 6, strength_level(elo), 2000);
        EXPECT_EQ(counts[4] + counts[5], 0);
        EXPECT_GT(counts[0], counts[1]);
        if (elo == OPTION_ELO_MIN) {
            EXPECT_GT(counts[3], 0);
        }
        if (!worse.empty()) {
            EXPECT_LE(2000 - counts[0], worse.back());
        }
        worse.push_back(2000 - counts[0]);
    }
    EXPECT_GT(worse.front(), 4 * worse.back() + 100);
}

// Whole searches at a level, in-process and single-threaded, with the clock out of play: the
// node budget alone ends them, so that a fixed seed repeats them exactly.
class StrengthSearch : public SearchFixture {
  protected:
    void SetUp() override {
        SearchFixture::SetUp();
        infinite_search.store(0);
        option_limit_strength = 1;
        option_elo            = OPTION_ELO_MIN;
    }
    void TearDown() override {
        option_limit_strength = 0;
        option_elo            = OPTION_ELO_MAX;
        strength_seed         = 0;
        strength_game_started.store(true);
        SearchFixture::TearDown();
    }
    // The move a search of the position plays, as text.
    static std::string bestmove(const char* fen) {
        auto pos = make_position(fen);
        tt_clear();
        history_clear();
        stop_flag.store(0);
        ::testing::internal::CaptureStdout();
        think(*pos, ~std::uint64_t(0), 40);
        std::string out = ::testing::internal::GetCapturedStdout();
        std::size_t at  = out.rfind("bestmove ");
        if (at == std::string::npos) return "none";
        return out.substr(at + 9, out.find(' ', at + 9) - at - 9);
    }
    // The moves of a series of searches started as a new game under the seed.
    static std::vector<std::string> game(std::uint32_t seed, const std::vector<const char*>& fens) {
        strength_seed = seed;
        strength_game_started.store(true);
        std::vector<std::string> moves;
        for (const char* fen : fens)
            moves.push_back(bestmove(fen));
        return moves;
    }
};

TEST_F(StrengthSearch, LowestLevelTakesWhatIsWonEveryTime) {
    const struct {
        const char* fen;
        const char* move;
    } cases[] = {
        {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "a1a8"}, // mate on the back rank
        {"r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1", "a8a1"}, // the same for Black
        {"r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4",
         "h5f7"},                                           // mate, with pawns to take elsewhere
        {"4k3/8/8/3q4/4P3/8/8/4K3 w - - 0 1", "e4d5"},      // a queen left to a pawn
        {"4k3/8/8/8/3q4/8/4N3/4K3 w - - 0 1", "e2d4"},      // to a knight
        {"4k3/8/8/8/8/5q2/8/3BK3 w - - 0 1", "d1f3"},       // to a bishop
        {"3Q1rk1/5ppp/8/8/8/8/5PPP/6K1 b - - 0 1", "f8d8"}, // the queen taken back
    };
    for (std::uint32_t seed = 1; seed <= 8; seed++) {
        strength_seed = seed;
        strength_game_started.store(true);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.fen) + " seed " + std::to_string(seed));
            EXPECT_EQ(bestmove(c.fen), c.move);
        }
    }
}

TEST_F(StrengthSearch, FixedSeedRepeatsItsMovesAndOtherSeedsVary) {
    // Quiet positions with several playable moves.
    const std::vector<const char*> fens = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2",
        "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
        "rnbqkb1r/pppppppp/5n2/8/3P4/8/PPP1PPPP/RNBQKBNR w KQkq - 1 2",
        "rnbqkbnr/pp1ppppp/8/2p5/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2",
        "rnbqkbnr/ppp1pppp/8/3p4/2PP4/8/PP2PPPP/RNBQKBNR b KQkq - 0 2",
    };
    const std::vector<std::string> first = game(7, fens);
    EXPECT_EQ(game(7, fens), first);
    bool varied = false;
    for (std::uint32_t seed = 8; seed < 16 && !varied; seed++)
        varied = game(seed, fens) != first;
    EXPECT_TRUE(varied) << "eight other seeds all played the same moves";
}

} // namespace
} // namespace orbelin
