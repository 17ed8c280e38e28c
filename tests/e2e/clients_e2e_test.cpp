// What GUIs and client libraries rely on, through the real binary: infinite analysis that waits
// for "stop", a score for every search, searchmoves, the debug switches, true mate distances
// and principal variations that end at a draw.
#include "engine_process.h"

#include <chrono>
#include <glib.h>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace orbelin {
namespace {

using Clock = std::chrono::steady_clock;

long long ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The lines of a search that carry a score.
std::vector<std::string> score_lines(const std::vector<std::string>& lines) {
    std::vector<std::string> found;
    for (const auto& line : lines)
        if (line.find(" score ") != std::string::npos) found.push_back(line);
    return found;
}

// The root move of a pv line.
std::string pv_root(const std::string& line) {
    std::size_t at = line.find(" pv ");
    return at == std::string::npos ? "" : line.substr(at + 4, line.find(' ', at + 4) - at - 4);
}

const std::regex PV_LINE("info (multipv \\d+ )?score (cp|mate) -?\\d+ (lowerbound |upperbound )?"
                         "(bbhits \\d+ )?depth \\d+ "
                         "seldepth \\d+ time \\d+ nodes \\d+ nps \\d+ hashfull \\d+ pv "
                         "([a-h][1-8][a-h][1-8][nbrq]? )+");

TEST(ClientsE2E, InfiniteAnalysisAnswersOnlyAfterStop) {
    const struct {
        const char* name;
        const char* position;
        const char* go;
    } cases[] = {
        {"one legal move", "fen 7k/8/8/8/8/8/1q6/K7 w - - 0 1", "go infinite"},
        {"bare kings, deepening ends", "fen 8/8/8/3k4/8/8/8/K7 w - - 0 1", "go infinite"},
        {"a mate in one", "fen 4k3/8/4K3/8/8/8/8/7R w - - 0 1", "go infinite"},
        {"a clock", "startpos moves e2e4", "go infinite wtime 100 btime 100"},
        {"no legal move", "fen 7k/8/8/8/8/8/qq6/K7 w - - 0 1", "go infinite"},
    };
    EngineProcess engine = engine_start_without_book();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        engine_send(engine, std::string("position ") + c.position);
        engine_send(engine, c.go);
        EXPECT_FALSE(engine_expect(engine, "bestmove", 700).has_value());
        engine_send(engine, "isready");
        EXPECT_EQ(engine_expect(engine, "readyok", 1000), "readyok");
        auto start = Clock::now();
        engine_send(engine, "stop");
        auto lines = until_bestmove(engine, 3000);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u) << lines.back();
        EXPECT_LT(ms_since(start), 1000);
    }
    engine_quit(engine);
}

// Searches too short for the iteration lines still print the score of the move they play, on
// the line before "bestmove".
TEST(ClientsE2E, EverySearchReportsAScore) {
    EngineProcess engine = engine_start_without_book();
    engine_send(engine, "position startpos moves e2e4");
    const struct {
        const char* go;
        bool short_search; // ends before depth 5: its one score line comes just before bestmove
    } cases[] = {{"go depth 1", true},
                 {"go depth 2", true},
                 {"go depth 3", true},
                 {"go depth 4", true},
                 {"go nodes 1", true},
                 {"go wtime 100", false},
                 {"go btime 100 wtime 100", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.go);
        engine_send(engine, c.go);
        auto lines = until_bestmove(engine);
        ASSERT_GE(lines.size(), 2u);
        auto scores = score_lines(lines);
        ASSERT_FALSE(scores.empty());
        if (c.short_search) {
            EXPECT_EQ(scores.size(), 1u);
            EXPECT_EQ(scores.back(), lines[lines.size() - 2]);
        }
        EXPECT_TRUE(std::regex_match(scores.back(), PV_LINE)) << scores.back();
        EXPECT_EQ(lines.back(), "bestmove " + pv_root(scores.back()) + " ");
    }
    engine_quit(engine);
}

// A match runner's compliance steps: each search ends with a bestmove that an info line with an
// integer score, time and nps precedes, also when the engine's own book answers (the start
// position is in it).
TEST(ClientsE2E, ComplianceSequence) {
    for (bool own_book : {false, true}) {
        SCOPED_TRACE(own_book ? "own book" : "no book");
        EngineProcess engine = engine_start_without_book();
        std::string book     = write_start_book(engine.workdir);
        if (own_book) {
            engine_send(engine, "setoption name OwnBook value true");
            EXPECT_EQ(engine_read_line(engine), "info string OwnBook set to true");
            engine_send(engine, "setoption name Book File value " + book);
            EXPECT_EQ(engine_read_line(engine), "info string book (" + book + ") loaded");
        }
        engine_send(engine, "uci");
        EXPECT_EQ(engine_expect(engine, "uciok"), "uciok");
        engine_send(engine, "isready");
        EXPECT_EQ(engine_read_line(engine), "readyok");
        engine_send(engine, "ucinewgame");
        engine_send(engine, "position startpos");
        const struct {
            const char* position;
            const char* go;
        } steps[] = {
            {"fen 3r2k1/p5n1/1pq1p2p/2p3p1/2P1P1n1/1P1P2pP/PN1Q2K1/5R2 w - - 0 27", "go wtime 100"},
            {"fen rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1", "go btime 100"},
            {"startpos", "go wtime 100 winc 100 btime 100 binc 100"},
            {"startpos moves e2e4", "go btime 100 binc 100 wtime 100 winc 100"},
            {"startpos", "go wtime 100 btime 100"},
        };
        const std::regex info("info .*score (cp|mate) -?\\d+ .*time \\d+ nodes \\d+ nps \\d+ .*");
        for (const auto& step : steps) {
            SCOPED_TRACE(step.go);
            engine_send(engine, std::string("position ") + step.position);
            engine_send(engine, step.go);
            auto lines = until_bestmove(engine, 5000);
            ASSERT_GE(lines.size(), 2u);
            EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u);
            auto scores = score_lines(lines);
            ASSERT_FALSE(scores.empty());
            EXPECT_TRUE(std::regex_match(scores.back(), info)) << scores.back();
        }
        engine_quit(engine);
        std::remove(book.c_str());
    }
}

TEST(ClientsE2E, SearchmovesRestrictsTheRoot) {
    const struct {
        const char* words;
        std::set<std::string> allowed; // empty: any move
        int variations;                // pv lines kept with MultiPV 3
    } cases[] = {
        {"searchmoves a2a3", {"a2a3"}, 1},
        {"searchmoves a2a3 H2H3", {"a2a3", "h2h3"}, 2},
        {"searchmoves e2e5 xyz a2a3 a2a3", {"a2a3"}, 1},
        {"searchmoves e2e5 e7e5", {}, 3}, // none legal: every move is searched
    };
    EngineProcess engine = engine_start_without_book();
    engine_send(engine, "setoption name MultiPV value 3");
    EXPECT_EQ(engine_read_line(engine), "info string MultiPV set to 3");
    engine_send(engine, "position startpos moves g1f3 d7d5");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        engine_send(engine, std::string("go depth 5 ") + c.words);
        auto lines = until_bestmove(engine);
        std::set<std::string> variations;
        for (const auto& line : score_lines(lines)) {
            if (line.find(" depth 5 ") == std::string::npos) continue;
            std::string root = pv_root(line);
            if (!c.allowed.empty()) {
                EXPECT_TRUE(c.allowed.count(root)) << line;
            }
            variations.insert(line.substr(0, line.find(" score ")));
        }
        EXPECT_EQ(int(variations.size()), c.variations);
        std::string best = lines.back().substr(9, lines.back().find(' ', 9) - 9);
        if (!c.allowed.empty()) {
            EXPECT_TRUE(c.allowed.count(best)) << best;
        }
    }
    engine_quit(engine);
}

// Announced mates come true: with both sides playing the engine's moves, each announcement of
// the winning side is one move shorter than the last, and the game ends when it says.
TEST(ClientsE2E, AnnouncedMateDistancesAreTrue) {
    const struct {
        const char* fen;
        int depth;
        int mate;
    } cases[] = {
        {"8/8/3k4/8/4K3/8/8/7Q w - - 0 1", 12, 6}, // KQK
        {"8/8/8/8/8/k7/8/2K4R w - - 0 1", 12, 6},  // KRK
        {"3q1rk1/p4pp1/2pb3p/3p4/6Pr/1PNQ4/P1PB1PP1/4RRK1 b - - 0 1", 8, 5},
        {"r3r2k/2R3pp/pp1q1p2/8/3P3R/7P/PP3PP1/3Q2K1 w - - 0 1", 8, 4},
        {"r2rb1k1/pp1q1p1p/2n1p1p1/2bp4/5P2/PP1BPR1Q/1BPN2PP/R5K1 w - - 0 1", 8, 4},
    };
    EngineProcess engine = engine_start_without_book();
    const std::regex mate(".* score mate (-?\\d+) .*");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        engine_send(engine, "setoption name Clear Hash");
        std::string fen = c.fen, moves;
        int expected = c.mate, winner_moves = 0;
        for (int ply = 0; ply < 2 * c.mate + 2; ply++) {
            engine_send(engine, "position fen " + fen + (moves.empty() ? "" : " moves " + moves));
            engine_send(engine, "go depth " + std::to_string(c.depth));
            auto lines = until_bestmove(engine, 120000); // sanitized builds are slow
            ASSERT_FALSE(lines.empty());
            std::string best = lines.back().substr(9, lines.back().find(' ', 9) - 9);
            if (best == "0000") break; // mated
            auto scores = score_lines(lines);
            std::smatch m;
            if (ply % 2 == 0) {
                ASSERT_FALSE(scores.empty());
                ASSERT_TRUE(std::regex_match(scores.back(), m, mate)) << scores.back();
                EXPECT_EQ(std::stoi(m[1]), expected) << scores.back();
                expected--;
                winner_moves++;
            } else if (!scores.empty() && scores.back().find(" depth 0 ") == std::string::npos) {
                // (a lone reply is played unsearched, with the static evaluation at depth 0)
                ASSERT_TRUE(std::regex_match(scores.back(), m, mate)) << scores.back();
                EXPECT_EQ(std::stoi(m[1]), -(expected)) << scores.back();
            }
            moves += best + " ";
        }
        EXPECT_EQ(winner_moves, c.mate);
        EXPECT_EQ(expected, 0);
    }
    engine_quit(engine);
}

// A line that repeats a position of the game ends there, even when the table knows how the
// position went on the first time.
TEST(ClientsE2E, PrincipalVariationEndsAtARepetition) {
    EngineProcess engine    = engine_start_without_book();
    const std::string kings = "position fen 8/3k4/8/8/8/8/3K4/8 w - - 0 1";
    engine_send(engine, kings);
    engine_send(engine, "go depth 9");
    auto first = score_lines(until_bestmove(engine));
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(pv_root(first.back()), "d2c1") << first.back();
    engine_send(engine, kings + " moves d2c1 d7c6 c1d2 c6d7");
    engine_send(engine, "go depth 9");
    auto second = score_lines(until_bestmove(engine));
    ASSERT_FALSE(second.empty());
    const std::string& last = second.back();
    EXPECT_EQ(last.substr(last.find(" pv ")), " pv d2c1 ") << last;
    engine_quit(engine);
}

} // namespace
} // namespace orbelin
