// Chess960 through the real binary: the option and its info lines, a castling found by the
// search and written as the king taking its rook, and malformed Chess960 FENs refused with the
// position kept.
#include "engine_process.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orbelin {
namespace {

EngineProcess start_in_chess960() {
    EngineProcess engine = engine_start();
    engine_send(engine, "setoption name UCI_Chess960 value true");
    EXPECT_EQ(engine_read_line(engine), "info string UCI_Chess960 set to true");
    EXPECT_EQ(engine_read_line(engine),
              "info string no book moves in Chess960: Polyglot keys are for standard chess");
    return engine;
}

void quit(EngineProcess& engine) {
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine, 10000), 0);
}

// The FEN line of the board dump, which shows it in Chess960; the dump is read to its end.
std::string dumped_fen(EngineProcess& engine) {
    engine_send(engine, "debug");
    auto line = engine_expect(engine, "FEN:");
    EXPECT_TRUE(engine_expect(engine, "History:").has_value());
    return line.value_or("");
}

// Castling mates at once: the king on b1 takes its rook on a1 (Shredder-FEN A or X-FEN Q), and
// the rook lands on d1, checking the boxed-in king on d8. Without UCI_Chess960 the same FEN holds
// no right that can be read, and the engine plays something else.
TEST(Chess960E2E, SearchFindsAndWritesACastling) {
    EngineProcess engine = start_in_chess960();
    for (const char* rights : {"A", "Q"}) {
        SCOPED_TRACE(rights);
        engine_send(engine,
                    std::string("position fen 2rkr3/2p1p3/8/8/8/8/8/RK6 w ") + rights + " - 0 1");
        engine_send(engine, "go depth 3");
        auto lines = until_bestmove(engine);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "bestmove b1a1 ");
        EXPECT_NE(lines[lines.size() - 2].find("score mate 1 "), std::string::npos)
            << lines[lines.size() - 2];
    }
    // The two-square text of a castling whose king starts on the e-file, and the answer after it.
    engine_send(engine, "position startpos moves e2e4 e7e5 g1f3 g8f6 f1c4 f8c5 e1g1 e8g8");
    EXPECT_EQ(dumped_fen(engine),
              "FEN:rnbq1rk1/pppp1ppp/5n2/2b1p3/2B1P3/5N2/PPPP1PPP/RNBQ1RK1 w - - 0 5");
    engine_send(engine, "setoption name UCI_Chess960 value false");
    EXPECT_EQ(engine_read_line(engine), "info string UCI_Chess960 set to false");
    engine_send(engine, "position fen 2rkr3/2p1p3/8/8/8/8/8/RK6 w A - 0 1");
    engine_send(engine, "go depth 3");
    auto lines = until_bestmove(engine);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back(), "bestmove b1a1 ");
    quit(engine);
}

TEST(Chess960E2E, MalformedFensAreRefusedAndThePositionStays) {
    EngineProcess engine   = start_in_chess960();
    const std::string kept = "rk5r/pppppppp/8/8/8/8/PPPPPPPP/R5KR w HAha - 0 1";
    engine_send(engine, "position fen " + kept);
    EXPECT_EQ(dumped_fen(engine), "FEN:" + kept);
    const std::string bad[] = {
        "4k3/8/8/8/8/8/8/4K3 w K - 0 1 moves e1e2",   // no rook for the right
        "4k3/8/8/8/8/8/4K3/7R w H - 0 1",             // no king on the first rank
        "4k3/8/8/8/8/8/8/4KRR1 w FG - 0 1",           // two rooks on one wing
        "rk5r/pppppppp/8/8/8/8/PPPPPPPP/R5KR w H?ha", // a stray character
        // A long field of repeated rights, then a stray letter, on another side to move.
        "rk5r/pppppppp/8/8/8/8/PPPPPPPP/R5KR b " + std::string(300, 'H') + "Z - 0 1",
    };
    for (const std::string& fen : bad) {
        SCOPED_TRACE(fen);
        engine_send(engine, "position fen " + fen);
        EXPECT_EQ(dumped_fen(engine), "FEN:" + kept);
    }
    // A move that is no castling here is reported and the moves before it stay played.
    engine_send(engine, "position fen " + kept + " moves g1h1 h7h6 c1a1");
    EXPECT_EQ(dumped_fen(engine), "FEN:rk5r/ppppppp1/7p/8/8/8/PPPPPPPP/R4RK1 w ha - 0 2");
    engine_send(engine, "go depth 4");
    auto lines = until_bestmove(engine);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u);
    quit(engine);
}

} // namespace
} // namespace orbelin
