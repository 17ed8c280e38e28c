// A short game of the engine against itself, driven the way a GUI drives it: every move is
// checked against the rules and every clock must stay positive.
#include "board/attacks.h"
#include "engine_process.h"
#include "moves/picker.h"
#include "test_util.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace orbelin {
namespace {

TEST(MatchE2E, SelfPlayGameWithClocksStaysLegalAndInTime) {
    EngineProcess engines[2] = {engine_start(), engine_start()};
    for (auto& engine : engines) {
        engine_send(engine, "uci");
        EXPECT_TRUE(engine_expect(engine, "uciok").has_value());
        engine_send(engine, "setoption name Hash value 16");
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
    EXPECT_GT(plies, 20) << moves;
    for (auto& engine : engines) {
        engine_send(engine, "quit");
        EXPECT_EQ(engine_wait(engine), 0);
    }
}

} // namespace
} // namespace orbelin
