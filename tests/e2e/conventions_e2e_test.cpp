// What GUIs, match runners and client libraries send by convention, through the real binary:
// node limits kept within the search, "go mate", "go perft", and score lines marked as bounds
// while the root widens its window.
#include "engine_process.h"
#include "moves/make.h"
#include "moves/perft.h"
#include "moves/picker.h"
#include "test_util.h"

#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <vector>

namespace orbelin {
namespace {

// The number after the word in the line, or -1.
long long field(const std::string& line, const std::string& word) {
    std::smatch m;
    if (!std::regex_search(line, m, std::regex(" " + word + " (-?\\d+)"))) return -1;
    return std::stoll(m[1]);
}

constexpr char KIWIPETE[] = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

// "go nodes N" ends the search near N nodes at any node, whatever the threads, also in a small
// ending that the bitbases make cheap and deep: the statistics line of the last iteration counts
// every node searched.
TEST(ConventionsE2E, NodeLimitsHoldWithinTheSearch) {
    const struct {
        const char* fen;
        long long nodes;
        int threads;
        bool bitbases;
    } cases[] = {
        {KIWIPETE, 100000, 1, false},
        {KIWIPETE, 1000000, 16, false},
        {"8/8/8/8/8/4k3/4P3/4K3 w - - 0 1", 1000000, 1, true}, // a drawn KPK
        {"8/8/8/8/8/4k3/4P3/4K3 w - - 0 1", 1000000, 16, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " nodes " + std::to_string(c.nodes) + " threads " +
                     std::to_string(c.threads));
        EngineProcess engine = engine_start_without_book();
        if (c.bitbases) {
            engine_send(engine,
                        std::string("setoption name Bitbases Path value ") + ORBELIN_EGBB_DIR);
            EXPECT_EQ(engine_expect(engine, "info string endgame bitbases loaded"),
                      "info string endgame bitbases loaded (" ORBELIN_EGBB_DIR "/egbbso.so)");
        }
        engine_send(engine, "setoption name Threads value " + std::to_string(c.threads));
        engine_send(engine, std::string("position fen ") + c.fen);
        engine_send(engine, "go nodes " + std::to_string(c.nodes));
        auto lines = until_bestmove(engine, 120000);
        ASSERT_FALSE(lines.empty());
        ASSERT_EQ(lines.back().rfind("bestmove ", 0), 0u) << lines.back();
        long long searched = -1, deepest = 0;
        for (const auto& line : lines) {
            if (line.rfind("info time ", 0) == 0) searched = field(line, "nodes");
            if (line.rfind("info depth ", 0) == 0) deepest = std::stoll(line.substr(11));
        }
        // Only a search that completed its deepest iteration (40) may end below the limit.
        if (deepest < 40) {
            EXPECT_GE(searched, c.nodes);
        }
        EXPECT_LE(searched, c.nodes + std::max(c.nodes / 100, 1000LL));
        EXPECT_NE(lines.back(), "bestmove 0000");
        engine_quit(engine);
    }
}

// "go mate N" answers once it has found a mate in at most N moves for the side to move, and
// holds its answer until "stop" when there is none; other limits still apply.
TEST(ConventionsE2E, GoMateAnswersOnceTheMateIsFound) {
    const struct {
        const char* fen;
        const char* go;
        const char* bestmove;
        int mate;
    } mates[] = {
        {"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", "go mate 1", "d1d8", 1}, // the back rank
        {"r3q1kr/ppp5/3p2pQ/8/3PP1b1/5R2/PPP3P1/5RK1 w - - 0 1", "go mate 3", "f3f8", 3}, // WAC.057
        {"r3q1kr/ppp5/3p2pQ/8/3PP1b1/5R2/PPP3P1/5RK1 w - - 0 1", "go nodes 1000000 mate 3", "f3f8",
         3}, // python-chess
        {"r6k/p1Q4p/2p1b1rq/4p3/B3P3/4P3/PPP3P1/4RRK1 b - - 0 1", "go mate 5", "g6g2",
         5},                                                                            // WAC.088
        {"7Q/ppp2q2/3p2k1/P2Ppr1N/1PP5/7R/5rP1/6K1 b - - 0 1", "go mate 5", "f2g2", 5}, // WAC.167
    };
    EngineProcess engine = engine_start_without_book();
    for (const auto& c : mates) {
        SCOPED_TRACE(std::string(c.fen) + " " + c.go);
        engine_send(engine, std::string("position fen ") + c.fen);
        engine_send(engine, c.go);
        auto lines = until_bestmove(engine, 60000);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.back(), std::string("bestmove ") + c.bestmove + " ");
        std::string score;
        for (const auto& line : lines)
            if (line.find(" score ") != std::string::npos) score = line;
        EXPECT_EQ(score.find(" upperbound"), std::string::npos) << score;
        EXPECT_NE(score.find(" score mate " + std::to_string(c.mate) + " "), std::string::npos)
            << score;
    }

    // No mate in two from the start: held like an infinite search until "stop".
    engine_send(engine, "position startpos");
    engine_send(engine, "go mate 2");
    EXPECT_FALSE(engine_expect(engine, "bestmove", 1500).has_value());
    engine_send(engine, "stop");
    auto lines = until_bestmove(engine, 5000);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u);
    // With a node limit as well, the node limit answers.
    engine_send(engine, "go nodes 20000 mate 2");
    lines = until_bestmove(engine, 10000);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u);
    engine_quit(engine);
}

// "go perft N" prints every root move's leaf count as perft tools do, the same counts the
// engine's own perft walk finds, and no bestmove.
TEST(ConventionsE2E, GoPerftPrintsTheSplit) {
    PositionPtr pos = make_position(KIWIPETE);
    RootMoveList roots;
    legal_moves(*pos, roots);
    EngineProcess engine = engine_start();
    engine_send(engine, std::string("position fen ") + KIWIPETE);
    engine_send(engine, "go perft 3");
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < roots.count; i++) {
        make_move(*pos, roots.moves[i].move);
        std::uint64_t count = perft(*pos, 2);
        unmake_move(*pos);
        char text[6];
        move_to_text(roots.moves[i].move, text);
        EXPECT_EQ(engine_read_line(engine), std::string(text) + ": " + std::to_string(count));
        total += count;
    }
    EXPECT_EQ(total, 97862u);
    EXPECT_EQ(engine_read_line(engine), "");
    EXPECT_EQ(engine_read_line(engine), "Nodes searched: 97862");
    engine_send(engine, "position startpos moves e2e4");
    engine_send(engine, "go perft 1");
    auto lines = std::vector<std::string>();
    while (auto line = engine_read_line(engine, 2000)) {
        lines.push_back(*line);
        if (line->rfind("Nodes searched", 0) == 0) break;
    }
    ASSERT_EQ(lines.size(), 22u);
    EXPECT_EQ(lines.back(), "Nodes searched: 20");
    engine_send(engine, "isready");
    EXPECT_EQ(engine_read_line(engine), "readyok"); // no bestmove came
    engine_quit(engine);
}

struct ScoreLine {
    int depth;
    std::string score; // "cp -1148" or "mate -7"
    std::string bound; // "", "lowerbound" or "upperbound"
};

std::vector<ScoreLine> score_lines(const std::vector<std::string>& lines) {
    const std::regex pv("info score ((?:cp|mate) -?\\d+) (?:(lowerbound|upperbound) )?"
                        "(?:bbhits \\d+ )?depth (\\d+) .* pv .*");
    std::vector<ScoreLine> found;
    for (const auto& line : lines) {
        std::smatch m;
        if (std::regex_match(line, m, pv)) found.push_back({std::stoi(m[3]), m[1], m[2]});
    }
    return found;
}

// A root move whose score falls outside its window prints that score before the window widens:
// such lines say lowerbound (failed high) or upperbound (failed low); the line that ends each
// iteration lies inside its window and is not marked.
TEST(ConventionsE2E, ScoresOutsideTheWindowAreMarkedAsBounds) {
    EngineProcess engine = engine_start_without_book();
    engine_send(engine, "position fen 8/8/6Q1/8/5k2/8/1K6/8 b - - 0 1");
    engine_send(engine, "go depth 14");
    auto lines = score_lines(until_bestmove(engine, 60000));
    std::vector<std::string> depth13;
    for (const auto& line : lines)
        if (line.depth == 13)
            depth13.push_back(line.score + (line.bound.empty() ? "" : " ") + line.bound);
    const std::vector<std::string> expected = {"cp -1148 upperbound",  "cp -1152 upperbound",
                                               "cp -1160 upperbound",  "cp -1176 upperbound",
                                               "cp -1208 upperbound",  "cp -1272 upperbound",
                                               "cp -1400 upperbound",  "cp -1656 upperbound",
                                               "cp -2168 upperbound",  "cp -3192 upperbound",
                                               "cp -5240 upperbound",  "cp -9336 upperbound",
                                               "cp -17528 upperbound", "mate -7"};
    EXPECT_EQ(depth13, expected);

    // WAC.003: the best move fails high at depth 7 before its exact score.
    engine_send(engine, "position fen 5rk1/1ppb3p/p1pb4/6q1/3P1p1r/2P1R2P/PP1BQ1P1/5RKN w - - 0 1");
    engine_send(engine, "go depth 8");
    auto rising = score_lines(until_bestmove(engine, 60000));
    int lower   = 0;
    for (std::size_t i = 0; i < rising.size(); i++) {
        SCOPED_TRACE(i);
        if (rising[i].bound.empty()) continue;
        lower += rising[i].bound == "lowerbound";
        // A bound is always followed by the widened search of the same iteration.
        ASSERT_LT(i + 1, rising.size());
        EXPECT_EQ(rising[i + 1].depth, rising[i].depth);
    }
    EXPECT_GE(lower, 2);
    ASSERT_FALSE(rising.empty());
    EXPECT_EQ(rising.back().bound, "");
    engine_quit(engine);
}

} // namespace
} // namespace orbelin
