// Short games of the engine against itself, driven the way a GUI drives it: every move is
// checked against the rules and every clock must stay positive; in standard chess and in
// Chess960, whose castlings must come as the king taking its own rook.
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

// How one game is played: from the FEN (the start position when empty), in Chess960 or not, up
// to max_plies with the clock_start_ms + 50 ms clock; White's engine set up with the first list
// of setoption commands and Black's with the second.
struct GameSetup {
    std::string fen;
    bool chess960;
    int max_plies;
    long long clock_start_ms;
    std::vector<std::string> options[2];
};

// Plays the game. Answers the number of plies played; counts the castlings played and tells
// whether the game ended in a mate.
int play_game(const GameSetup& setup, int& castlings, bool& mated) {
    const std::string& fen   = setup.fen;
    const bool chess960      = setup.chess960;
    EngineProcess engines[2] = {engine_start(), engine_start()};
    for (int side = 0; side < 2; side++) {
        EngineProcess& engine = engines[side];
        engine_send(engine, "uci");
        EXPECT_TRUE(engine_expect(engine, "uciok").has_value());
        engine_send(engine, "setoption name Hash value 16");
        if (chess960) engine_send(engine, "setoption name UCI_Chess960 value true");
        for (const auto& option : setup.options[side])
            engine_send(engine, "setoption name " + option);
        engine_send(engine, "ucinewgame");
        engine_send(engine, "isready");
        EXPECT_TRUE(engine_expect(engine, "readyok").has_value());
    }
    long long clock_ms[2]        = {setup.clock_start_ms, setup.clock_start_ms};
    const long long increment_ms = 50;
    PositionPtr game(position_new());
    if (fen.empty())
        position_set_start(*game, chess960);
    else
        EXPECT_TRUE(position_set_fen(*game, fen.c_str(), chess960)) << fen;
    const std::string start = fen.empty() ? "position startpos" : "position fen " + fen;
    std::string moves;
    int plies = 0;
    mated     = false;
    for (; plies < setup.max_plies; plies++) {
        RootMoveList legal;
        legal_moves(*game, legal);
        mated = legal.count == 0 && game->in_check;
        if (legal.count == 0 || repetition_count(*game) >= 2 || game->static_moves >= 100) break;
        int side              = game->side;
        EngineProcess& engine = engines[side];
        engine_send(engine, start + (moves.empty() ? "" : " moves" + moves));
        auto begin = std::chrono::steady_clock::now();
        engine_send(engine, "go wtime " + std::to_string(clock_ms[WHITE]) + " btime " +
                                std::to_string(clock_ms[BLACK]) + " winc 50 binc 50");
        auto best      = engine_expect(engine, "bestmove", 10000);
        long long used = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - begin)
                             .count();
        EXPECT_TRUE(best.has_value()) << "no answer at ply " << plies;
        if (!best) break;
        clock_ms[side] -= used;
        EXPECT_GT(clock_ms[side], 0)
            << "lost on time at ply " << plies << " after " << used << " ms: " << *best;
        clock_ms[side] += increment_ms;
        std::string move = best->substr(9, best->find(' ', 9) - 9);
        if (apply_move_text(*game, move.c_str()) != 1) {
            ADD_FAILURE() << "illegal " << move << " at " << plies << " after" << moves;
            break;
        }
        // The move as the engine wrote it is the move's own text (no castling by another name).
        char text[6];
        const Move played = game->history[game->ply - 1].move;
        move_to_text(played, text);
        EXPECT_EQ(move, text);
        castlings += move_type(played) == MOVE_CASTLE;
        moves += " " + move;
        if (::testing::Test::HasFailure()) break;
    }
    for (auto& engine : engines) {
        engine_send(engine, "quit");
        EXPECT_EQ(engine_wait(engine), 0);
    }
    return plies;
}

TEST(MatchE2E, SelfPlayGameWithClocksStaysLegalAndInTime) {
    int castlings = 0;
    bool mated    = false;
    EXPECT_GT(play_game({"", false, 60, 3000, {}}, castlings, mated), 20);
}

// The weakest level against the strongest, each playing its own moves under the clock; a game
// cut short must have been won (a weak level may be mated early).
TEST(MatchE2E, LimitedStrengthsStayLegalAndInTime) {
    int castlings   = 0;
    bool mated      = false;
    const int plies = play_game({"",
                                 false,
                                 60,
                                 3000,
                                 {{"UCI_LimitStrength value true", "UCI_Elo value 1350"},
                                  {"UCI_LimitStrength value true", "UCI_Elo value 2100"}}},
                                castlings, mated);
    EXPECT_TRUE(plies > 20 || mated) << plies;
}

// Start positions where the kings and rooks stand apart from the standard squares: the king
// between rooks on adjacent files, on b8/g1, on the g-file.
TEST(MatchE2E, Chess960SelfPlayGamesStayLegalAndInTime) {
    const char* const starts[] = {
        "rkrbbnnq/pppppppp/8/8/8/8/PPPPPPPP/RKRBBNNQ w CAca - 0 1",
        "bbrnnqkr/pppppppp/8/8/8/8/PPPPPPPP/BBRNNQKR w KQkq - 0 1",
        "nrkbbqrn/pppppppp/8/8/8/8/PPPPPPPP/NRKBBQRN w GBgb - 0 1",
    };
    int castlings = 0;
    for (const char* start : starts) {
        SCOPED_TRACE(start);
        bool mated = false;
        EXPECT_GT(play_game({start, true, 40, 5000, {}}, castlings, mated), 20);
        if (::testing::Test::HasFailure()) return;
    }
    RecordProperty("castlings", castlings);
}

} // namespace
} // namespace orbelin
