// The engine binary over pipes: identification, readiness, unknown and odd input, the debug
// dump, and the ways the engine ends.
#include "engine_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

namespace orbelin {
namespace {

TEST(UciE2E, IdentifiesAndAnswersReadiness) {
    EngineProcess engine = engine_start();
    engine_send(engine, "uci");
    EXPECT_EQ(engine_read_line(engine), "id name Orbelin 1.3 Lin32");
    EXPECT_EQ(engine_read_line(engine), "id author Ravelle");
    EXPECT_EQ(engine_expect(engine, "uciok"), "uciok");
    engine_send(engine, "isready");
    EXPECT_EQ(engine_read_line(engine), "readyok");
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine), 0);
}

TEST(UciE2E, CommandWordsIgnoreCaseAndUnknownWordsAreNamed) {
    EngineProcess engine = engine_start();
    engine_send(engine, "IsReady");
    EXPECT_EQ(engine_read_line(engine), "readyok");
    engine_send(engine, "hello world");
    EXPECT_EQ(engine_read_line(engine), "Unknown uci command:hello");
    engine_send(engine, "  \t ");
    engine_send(engine, "");
    engine_send(engine, "ucinewgame");
    std::string long_word(5000, 'z');
    engine_send(engine, long_word + " and more");
    EXPECT_EQ(engine_read_line(engine), "Unknown uci command:" + long_word);
    engine_write(engine, "\xff\xfe\x01 bytes\r\n");
    EXPECT_EQ(engine_read_line(engine), "Unknown uci command:\xff\xfe\x01");
    engine_send(engine, "UCI");
    EXPECT_EQ(engine_read_line(engine), "id name Orbelin 1.3 Lin32");
    EXPECT_EQ(engine_expect(engine, "uciok"), "uciok");
    engine_send(engine, "isready");
    EXPECT_EQ(engine_read_line(engine), "readyok"); // the blank lines answered nothing
    engine_send(engine, "QUIT");
    EXPECT_EQ(engine_wait(engine), 0);
}

TEST(UciE2E, DebugPrintsTheStartPositionDump) {
    PositionPtr start(position_new());
    EngineProcess engine = engine_start();
    // The protocol's switches print nothing; a bare "debug" prints the dump.
    engine_send(engine, "debug on");
    engine_send(engine, "DEBUG off");
    engine_send(engine, "debug");
    const std::string expected[] = {
        "rnbqkbnr",
        "pppppppp",
        "# # # # ",
        " # # # #",
        "# # # # ",
        " # # # #",
        "PPPPPPPP",
        "RNBQKBNR",
        "",
        "Player: White",
        "Ply:0",
        "En passant:0",
        "Capture:X",
        "Castling:15",
        "Check:0",
        "Static moves:0",
        "Repeat:0",
        "Material:0",
        "Phase:24",
        "PVT(opening/endgame):0/0",
        "Key:" + std::to_string(start->key),
        "History: ",
    };
    for (const std::string& line : expected)
        EXPECT_EQ(engine_read_line(engine), line);
    engine_send(engine, "isready");
    EXPECT_EQ(engine_read_line(engine), "readyok");
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine), 0);
}

// Reads one board dump and answers its line starting with the prefix.
std::string read_dump(EngineProcess& engine, const std::string& prefix) {
    std::string found;
    for (;;) {
        auto line = engine_read_line(engine);
        if (!line) return "no dump";
        if (line->rfind(prefix, 0) == 0) found = *line;
        if (line->rfind("History:", 0) == 0) return found;
    }
}

std::string dump_line(EngineProcess& engine, const std::string& prefix) {
    engine_send(engine, "debug");
    return read_dump(engine, prefix);
}

TEST(UciE2E, PositionCommandSurvivesBadInput) {
    EngineProcess engine = engine_start();
    engine_send(engine, "position startpos moves e2e4 e7e5");
    EXPECT_EQ(dump_line(engine, "History:"), "History: e2e4 e7e5 ");
    engine_send(engine, "position fen 4k3/8/8/8/8/8/8/4K2Z w - - 0 1 moves e1e2");
    engine_send(engine, "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1");
    engine_send(engine, "position fen " + std::string(3000, '8') + " w - - 0 1");
    EXPECT_EQ(dump_line(engine, "History:"), "History: e2e4 e7e5 "); // unchanged
    engine_send(engine, "position startpos moves e2e4 e7e5 e2e5 g1f3");
    EXPECT_EQ(read_dump(engine, "Ply:"), "Ply:2"); // printed with the report of the bad move
    EXPECT_EQ(dump_line(engine, "History:"), "History: e2e4 e7e5 ");
    engine_send(engine, "position fen 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1 moves E2E4 e8d7");
    EXPECT_EQ(dump_line(engine, "History:"), "History: e2e4 e8d7 ");
    engine_send(engine, "isready");
    EXPECT_EQ(engine_expect(engine, "readyok"), "readyok");
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine), 0);
}

TEST(UciE2E, EndOfInputEndsTheEngineCleanly) {
    EngineProcess engine = engine_start();
    engine_send(engine, "isready");
    EXPECT_EQ(engine_read_line(engine), "readyok");
    engine_close_input(engine);
    EXPECT_EQ(engine_wait(engine), 0);
}

TEST(UciE2E, LastLineWithoutNewlineBeforeEndOfInputIsRun) {
    EngineProcess engine = engine_start();
    engine_write(engine, "isready");
    engine_close_input(engine);
    EXPECT_EQ(engine_read_line(engine), "readyok");
    EXPECT_EQ(engine_wait(engine), 0);
}

} // namespace
} // namespace orbelin
