// Searching through the real binary: option lines, setoption, the info and bestmove lines,
// mates, time limits, infinite and ponder searches, and commands arriving during a search.
#include "engine_process.h"

#include <chrono>
#include <glib.h>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <vector>

namespace orbelin {
namespace {

using Clock = std::chrono::steady_clock;

long long ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int count_prefix(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const auto& line : lines)
        n += line.rfind(prefix, 0) == 0;
    return n;
}

// Searches, not book moves, are under test here.
void book_off(EngineProcess& engine) {
    engine_send(engine, "setoption name OwnBook value false");
    EXPECT_EQ(engine_read_line(engine), "info string OwnBook set to false");
}

void quit(EngineProcess& engine) {
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine, 10000), 0);
}

TEST(SearchE2E, DeclaresOptionsAndAnswersSetoption) {
    EngineProcess engine = engine_start();
    engine_send(engine, "uci");
    const std::string expected[] = {
        "id name Orbelin 1.3 Lin32",
        "id author Ravelle",
        "option name Ponder type check default false",
        "option name MultiPV type spin default 1 min 1 max 20",
        "option name Threads type spin default 1 min 1 max 16",
        "option name Hash type spin default 64 min 1 max 4096",
        "option name OwnBook type check default true",
        "option name Book File type string default ./performance.bin",
        "option name Bitbases Path type string default ./egbb/",
        "option name Bitbases Cache Size type spin default 16 min 1 max 256",
        "option name Clear Hash type button",
    };
    for (const auto& line : expected)
        EXPECT_EQ(engine_read_line(engine), line);
    auto about = engine_read_line(engine);
    EXPECT_EQ(about.value_or("").rfind("option name UCI_EngineAbout type string default ", 0), 0u);
    const std::string conventional[] = {
        "option name SyzygyPath type string default <empty>",
        "option name Move Overhead type spin default 0 min 0 max 5000",
        "option name UCI_AnalyseMode type check default false",
        "option name UCI_Opponent type string default <empty>",
        "option name UCI_Chess960 type check default false",
        "option name UCI_LimitStrength type check default false",
        "option name UCI_Elo type spin default 2100 min 1350 max 2100",
    };
    for (const auto& line : conventional)
        EXPECT_EQ(engine_read_line(engine), line);
    EXPECT_EQ(engine_read_line(engine), "uciok");

    struct Case {
        const char* command;
        const char* reply; // nothing printed when empty
    };
    const Case cases[] = {
        {"setoption name hash value 16", "info string Hash set to 16"},
        {"setoption name Hash value 0", ""},
        {"setoption name Threads value 17", ""},
        {"setoption name OwnBook value maybe", ""},
        {"setoption name ownbook value FALSE", "info string OwnBook set to FALSE"},
        {"setoption name MultiPV value 5", "info string MultiPV set to 5"},
        {"setoption name Foo value 1", "info wrong uci option name (Foo)"},
        {"setoption name Clear Hash", ""},
        {"setoption name Book File value /tmp/my book.bin",
         "info string book (/tmp/my) not loaded"},
        {"setoption name MultiPV value", ""},
        {"setoption name move overhead value 100", "info string Move Overhead set to 100"},
        {"setoption name Move Overhead value 5001", ""},
        {"setoption name UCI_AnalyseMode value true", "info string UCI_AnalyseMode set to true"},
        {"setoption name UCI_Opponent value GM 2800 human Magnus Carlsen", ""},
        {"setoption", "info wrong uci option name ()"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        engine_send(engine, c.command);
        engine_send(engine, "isready");
        if (*c.reply) {
            EXPECT_EQ(engine_read_line(engine), c.reply);
        }
        EXPECT_EQ(engine_read_line(engine), "readyok");
    }
    engine_send(engine, "uci"); // defaults as declared, not as set
    auto lines = std::vector<std::string>();
    while (auto line = engine_read_line(engine)) {
        lines.push_back(*line);
        if (*line == "uciok") break;
    }
    EXPECT_EQ(count_prefix(lines, "option name MultiPV type spin default 1 "), 1);
    quit(engine);
}

TEST(SearchE2E, DepthOneHasNoInfoAndDepthSixPrintsItsLines) {
    EngineProcess engine = engine_start();
    book_off(engine);
    engine_send(engine, "position startpos moves e2e4");
    engine_send(engine, "go depth 1");
    auto lines = until_bestmove(engine);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(count_prefix(lines, "info depth"), 0);
    EXPECT_EQ(lines[0].rfind("info score cp ", 0), 0u) << lines[0]; // the score it found
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex("bestmove [a-h][1-8][a-h][1-8] ")))
        << lines.back();

    engine_send(engine, "go depth 6");
    lines = until_bestmove(engine);
    EXPECT_EQ(count_prefix(lines, "info depth 5"), 1);
    EXPECT_EQ(count_prefix(lines, "info depth 6"), 1);
    EXPECT_EQ(count_prefix(lines, "info depth 4"), 0);
    const std::regex stats("info time \\d+ nodes \\d+ nps \\d+ hashfull \\d+ ");
    const std::regex pv("info score cp -?\\d+ depth [56] seldepth \\d+ time \\d+ nodes \\d+ "
                        "nps \\d+ hashfull \\d+ pv ([a-h][1-8][a-h][1-8][nbrq]? )+");
    int stats_lines = 0, pv_lines = 0;
    for (const auto& line : lines) {
        stats_lines += std::regex_match(line, stats);
        pv_lines += std::regex_match(line, pv);
    }
    EXPECT_EQ(stats_lines, 2);
    EXPECT_GE(pv_lines, 2);
    EXPECT_EQ(count_prefix(lines, "info currmovenumber"), 0);
    EXPECT_EQ(count_prefix(lines, "info score") + count_prefix(lines, "info depth") + stats_lines +
                  1,
              int(lines.size()));
    quit(engine);
}

TEST(SearchE2E, MatesAndTrivialPositions) {
    EngineProcess engine = engine_start();
    book_off(engine);
    // Mates in two, one for each side to move (the mate count depends on the root side).
    struct Mate {
        const char* fen;
        const char* bestmove;
    };
    const Mate mates[] = {
        {"r1bq2r1/b4pk1/p1pp1p2/1p2pP2/1P2P1PB/3P4/1PPQ2P1/R3K2R w - - 0 1", "bestmove d2h6 "},
        {"6k1/pp4p1/2p5/2bp4/8/P5Pb/1P3rrP/2BRRN1K b - - 0 1", "bestmove g2g1 "},
    };
    std::vector<std::string> lines;
    for (const Mate& mate : mates) {
        SCOPED_TRACE(mate.fen);
        engine_send(engine, std::string("position fen ") + mate.fen);
        engine_send(engine, "go depth 6");
        lines = until_bestmove(engine);
        ASSERT_FALSE(lines.empty());
        std::string last_score;
        for (const auto& line : lines) {
            if (line.rfind("info score", 0) == 0) last_score = line;
        }
        EXPECT_NE(last_score.find("score mate 2 "), std::string::npos) << last_score;
        EXPECT_EQ(lines.back(), mate.bestmove);
    }

    // A single legal move is answered at once, with the static evaluation as its score.
    engine_send(engine, "position fen 7k/8/8/8/8/8/1q6/K7 w - - 0 1");
    auto start = Clock::now();
    engine_send(engine, "go wtime 60000 btime 60000");
    lines = until_bestmove(engine, 2000);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(
        std::regex_match(lines[0], std::regex("info depth 0 score cp -\\d+ time 0 nodes 0 nps 0 "
                                              "pv a1b2")))
        << lines[0];
    EXPECT_EQ(lines[1], "bestmove a1b2 ");
    EXPECT_LT(ms_since(start), 1000);

    // Checkmated and stalemated sides have nothing to play.
    for (const char* fen : {"7k/8/8/8/8/8/qq6/K7 w - - 0 1", "7k/8/8/8/8/1q6/2q5/K7 w - - 0 1"}) {
        SCOPED_TRACE(fen);
        engine_send(engine, std::string("position fen ") + fen);
        engine_send(engine, "go depth 3");
        lines = until_bestmove(engine);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "info string in given position can not make any move!");
        EXPECT_EQ(lines[1], "bestmove 0000");
    }
    quit(engine);
}

TEST(SearchE2E, MultiPVKeepsAsManyLinesAsMoves) {
    EngineProcess engine = engine_start();
    book_off(engine);
    engine_send(engine, "setoption name MultiPV value 3");
    EXPECT_EQ(engine_read_line(engine), "info string MultiPV set to 3");
    engine_send(engine, "position startpos");
    engine_send(engine, "go depth 5");
    auto lines = until_bestmove(engine);
    for (int i = 1; i <= 3; i++) {
        EXPECT_GE(count_prefix(lines, "info multipv " + std::to_string(i) + " score "), 1) << i;
    }
    EXPECT_EQ(count_prefix(lines, "info multipv 4 "), 0);
    // Two legal moves: two variations, and the option stays lowered.
    engine_send(engine, "position fen 7k/8/8/8/8/8/8/K2q4 w - - 0 1");
    engine_send(engine, "go depth 5");
    lines = until_bestmove(engine);
    EXPECT_GE(count_prefix(lines, "info multipv 2 "), 1);
    EXPECT_EQ(count_prefix(lines, "info multipv 3 "), 0);
    quit(engine);
}

TEST(SearchE2E, TimeLimitsAreKept) {
    EngineProcess engine = engine_start();
    book_off(engine);
    engine_send(engine, "position startpos moves e2e4 e7e5");
    auto start = Clock::now();
    engine_send(engine, "go movetime 500");
    auto lines     = until_bestmove(engine, 5000);
    long long took = ms_since(start);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u);
    EXPECT_GE(took, 480);
    EXPECT_LT(took, 1500);

    // 60 s each, 40 moves to go: about 1950 ms.
    start = Clock::now();
    engine_send(engine, "go wtime 60000 btime 60000");
    lines = until_bestmove(engine, 8000);
    took  = ms_since(start);
    EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u);
    EXPECT_GE(took, 1900);
    EXPECT_LT(took, 3500);

    // Overdrawn clocks never mean a long think.
    start = Clock::now();
    engine_send(engine, "go wtime -200 btime 60000");
    lines = until_bestmove(engine, 5000);
    EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u);
    EXPECT_LT(ms_since(start), 1000);
    quit(engine);
}

TEST(SearchE2E, InfiniteAndPonderWaitForTheInterface) {
    EngineProcess engine = engine_start();
    book_off(engine);
    engine_send(engine, "setoption name Ponder value true");
    EXPECT_EQ(engine_read_line(engine), "info string Ponder set to true");
    engine_send(engine, "position startpos");
    engine_send(engine, "go infinite");
    engine_send(engine, "isready");
    EXPECT_EQ(engine_expect(engine, "readyok", 2000), "readyok"); // answered during the search
    g_usleep(300000);
    auto start = Clock::now();
    engine_send(engine, "stop");
    auto lines = until_bestmove(engine, 3000);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u);
    EXPECT_LT(ms_since(start), 1000);

    // A ponder search outlives its budget until ponderhit, then answers at once.
    engine_send(engine, "position startpos moves e2e4");
    engine_send(engine, "go ponder movetime 200");
    auto early = engine_expect(engine, "bestmove", 800);
    EXPECT_FALSE(early.has_value()) << *early;
    start = Clock::now();
    engine_send(engine, "ponderhit");
    lines = until_bestmove(engine, 2000);
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex("bestmove \\S+ (ponder \\S+ )?")))
        << lines.back();
    EXPECT_LT(ms_since(start), 500);

    // A single legal move while pondering is held back too.
    engine_send(engine, "position fen 7k/8/8/8/8/8/1q6/K7 w - - 0 1");
    engine_send(engine, "go ponder");
    EXPECT_FALSE(engine_expect(engine, "bestmove", 500).has_value());
    engine_send(engine, "stop");
    EXPECT_EQ(engine_expect(engine, "bestmove", 2000), "bestmove a1b2 ");
    quit(engine);
}

TEST(SearchE2E, CommandsDuringASearch) {
    EngineProcess engine = engine_start();
    book_off(engine);
    engine_send(engine, "position startpos");
    engine_send(engine, "go infinite");
    g_usleep(200000);
    engine_send(engine, "go depth 2"); // a new go ends the old search with its own answer
    auto first  = until_bestmove(engine, 3000);
    auto second = until_bestmove(engine, 3000);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(first.back().rfind("bestmove ", 0), 0u);
    EXPECT_EQ(second.back().rfind("bestmove ", 0), 0u);
    engine_send(engine, "go depth 4294967295"); // capped, and stopped like any search
    g_usleep(200000);
    engine_send(engine, "stop");
    EXPECT_EQ(until_bestmove(engine, 3000).back().rfind("bestmove ", 0), 0u);
    engine_send(engine, "stop"); // nothing running: nothing printed
    engine_send(engine, "ponderhit");
    engine_send(engine, "isready");
    EXPECT_EQ(engine_read_line(engine), "readyok");
    engine_send(engine, "go infinite");
    g_usleep(200000);
    auto start = Clock::now();
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine, 5000), 0);
    EXPECT_LT(ms_since(start), 2000);
}

TEST(SearchE2E, EndOfInputDuringAPonderSearchExitsCleanly) {
    EngineProcess engine = engine_start();
    engine_send(engine, "position startpos");
    engine_send(engine, "go ponder wtime 1000 btime 1000");
    g_usleep(100000);
    engine_close_input(engine);
    EXPECT_EQ(engine_wait(engine, 5000), 0);
}

} // namespace
} // namespace orbelin
