// A short game of the engine against itself, driven the way a GUI drives it: every move is
// checked against the rules and every clock must stay positive.
#include "board/attacks.h"
#include "engine_process.h"
#include "moves/picker.h"
#include "test_util.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orbelin {
namespace {

// Plays up to 60 plies from the start position, White's engine set up with the first list of
// setoption commands and Black's with the second.
void play_game(const std::vector<std::string> (&setup)[2]) {
    EngineProcess engines[2] = {engine_start(), engine_start()};
    for (int side = 0; side < 2; side++) {
        EngineProcess& engine = engines[side];
        engine_send(engine, "uci");
        EXPECT_TRUE(engine_expect(engine, "uciok").has_value());
        engine_send(engine, "setoption name Hash value 16");
        for (const auto& option : setup[side])
            engine_send(engine, "setoption name " + option);
        engine_send(engine, "ucinewgame");
        engine_send(engine, "isready");
        EXPECT_TRUE(engine_expect(engine, "readyok").has_value());
    }
    long long clock_ms[2]        = {3000, 3000};
    const long long increment_ms = 50;
    PositionPtr game(position_new());
    std::string moves;
    int plies = 0;
    for (; plies < 60; plies++) {
        RootMoveList legal;
        legal_moves(*game, legal);
        if (legal.count == 0 || repetition_count(*game) >= 2 || game->static_moves >= 100) break;
        int side              = game->side;
        EngineProcess& engine = engines[side];
        engine_send(engine, "position startpos" + (moves.empty() ? "" : " moves" + moves));
        auto start = std::chrono::steady_clock::now();
        engine_send(engine, "go wtime " + std::to_string(clock_ms[WHITE]) + " btime " +
                                std::to_string(clock_ms[BLACK]) + " winc 50 binc 50");
        auto best      = engine_expect(engine, "bestmove", 10000);
        long long used = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
        ASSERT_TRUE(best.has_value()) << "no answer at ply " << plies;
        clock_ms[side] -= used;
        ASSERT_GT(clock_ms[side], 0)
            << "lost on time at ply " << plies << " after " << used << " ms: " << *best;
        clock_ms[side] += increment_ms;
        std::string move = best->substr(9, best->find(' ', 9) - 9);
        ASSERT_EQ(apply_move_text(*game, move.c_str()), 1) << "illegal " << move << " at " << plies;
        moves += " " + move;
    }
    // A game cut short must have been won (a weak level may be mated early).
    RootMoveList last;
    legal_moves(*game, last);
    EXPECT_TRUE(plies > 20 || (last.count == 0 && game->in_check)) << moves;
    for (auto& engine : engines) {
        engine_send(engine, "quit");
        EXPECT_EQ(engine_wait(engine), 0);
    }
}

TEST(MatchE2E, SelfPlayGameWithClocksStaysLegalAndInTime) { play_game({{}, {}}); }

// The weakest level against the strongest, each playing its own moves under the clock.
TEST(MatchE2E, LimitedStrengthsStayLegalAndInTime) {
    play_game({{"UCI_LimitStrength value true", "UCI_Elo value 1350"},
               {"UCI_LimitStrength value true", "UCI_Elo value 2100"}});
}

} // namespace
} // namespace orbelin
