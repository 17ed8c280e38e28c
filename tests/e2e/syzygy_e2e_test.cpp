// Four-men endings without Gaviota files, through the real binary and the build's bitbase folder
// (Debian's 3-men Gaviota files and the 3- and 4-men Syzygy files): the engine wins queen
// against rook and bishop and knight against the bare king against itself within the fifty-move
// rule (searches of 40000 nodes a move: the games are the same on every build), scores rook
// against rook 0, and probes from several threads at once.
#include "board/attacks.h"
#include "engine_process.h"
#include "moves/picker.h"
#include "test_util.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orbelin {
namespace {

EngineProcess start_with_bitbases() {
    EngineProcess engine = engine_start();
    engine_send(engine, std::string("setoption name Bitbases Path value ") + ORBELIN_EGBB_DIR);
    EXPECT_EQ(engine_read_line(engine),
              "info string endgame bitbases loaded (" ORBELIN_EGBB_DIR "/egbbso.so)");
    return engine;
}

// The last "info ... score" line of a search.
std::string last_score_line(const std::vector<std::string>& lines) {
    std::string last;
    for (const auto& line : lines)
        if (line.rfind("info", 0) == 0 && line.find(" score ") != std::string::npos) last = line;
    return last;
}

TEST(SyzygyE2E, WonFourMenEndingsAreWonInSelfPlayWithinTheFiftyMoveRule) {
    const char* const starts[] = {
        "8/1r6/8/3k4/8/8/8/Q3K3 w - - 0 1", // queen against rook, 39 plies to the capture
        "8/8/4k3/8/2r5/8/8/3QK3 w - - 0 1", // queen against rook, 49 plies to the capture
        "8/8/8/4k3/8/8/8/KBN5 w - - 0 1",   // bishop and knight, 58 plies from mate
        "7k/8/8/8/8/8/8/4KBN1 w - - 0 1",   // bishop and knight, 54 plies from mate
    };
    EngineProcess engine = start_with_bitbases();
    for (const char* start : starts) {
        SCOPED_TRACE(start);
        engine_send(engine, "ucinewgame");
        PositionPtr game = make_position(start);
        std::string moves;
        bool mated = false, hits = false;
        for (int ply = 0; ply < 200 && !mated; ply++) {
            ASSERT_LT(game->static_moves, 100) << "drawn by the fifty-move rule:" << moves;
            engine_send(engine, std::string("position fen ") + start +
                                    (moves.empty() ? "" : " moves" + moves));
            engine_send(engine, "go nodes 150000");
            std::vector<std::string> lines = until_bestmove(engine, 60000);
            ASSERT_FALSE(lines.empty());
            ASSERT_EQ(lines.back().rfind("bestmove ", 0), 0u) << lines.back();
            hits             = hits || last_score_line(lines).find(" bbhits ") != std::string::npos;
            std::string move = lines.back().substr(9, lines.back().find(' ', 9) - 9);
            ASSERT_EQ(apply_move_text(*game, move.c_str()), 1) << move << " after" << moves;
            moves += " " + move;
            ASSERT_LT(repetition_count(*game), 2) << "drawn by repetition:" << moves;
            RootMoveList legal;
            legal_moves(*game, legal);
            if (legal.count == 0) {
                ASSERT_TRUE(game->in_check) << "stalemate:" << moves;
                EXPECT_EQ(game->side, BLACK) << moves;
                mated = true;
            }
        }
        EXPECT_TRUE(mated) << moves;
        EXPECT_TRUE(hits) << "no bbhits reported";
    }
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine), 0);
}

TEST(SyzygyE2E, RookAgainstRookIsADrawAndAQueenWinsOnSeveralThreads) {
    EngineProcess engine = start_with_bitbases();
    engine_send(engine, "position fen r7/8/8/3k4/8/8/3K4/7R w - - 0 1");
    engine_send(engine, "go depth 10");
    std::string score = last_score_line(until_bestmove(engine));
    EXPECT_NE(score.find(" score cp 0 "), std::string::npos) << score;
    EXPECT_NE(score.find(" bbhits "), std::string::npos) << score;

    engine_send(engine, "setoption name Threads value 3");
    engine_send(engine, "position fen 8/1r6/8/3k4/8/8/8/Q3K3 w - - 0 1");
    engine_send(engine, "go depth 9");
    auto lines = until_bestmove(engine, 120000);
    score      = last_score_line(lines);
    EXPECT_NE(score.find(" bbhits "), std::string::npos) << score;
    std::size_t cp_at = score.find("score cp ");
    ASSERT_NE(cp_at, std::string::npos) << score;
    EXPECT_GT(std::stoi(score.substr(cp_at + 9)), 7000) << score; // a tablebase win
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u);
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine), 0);
}

} // namespace
} // namespace orbelin
