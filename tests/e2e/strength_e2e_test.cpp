// Play at a chosen strength through the real binary: the lowest level still takes what is won
// outright and answers sooner than a full-strength search would, the level is announced once
// after each change, analysis ignores it, and the other options keep working at a level.
#include "engine_process.h"

#include <algorithm>
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

// Sets an option and waits for its answer.
void set_option(EngineProcess& engine, const std::string& name, const std::string& value) {
    engine_send(engine, "setoption name " + name + " value " + value);
    EXPECT_EQ(engine_read_line(engine), "info string " + name + " set to " + value);
}

// An engine without book, playing at the given Elo.
EngineProcess limited_engine(int elo) {
    EngineProcess engine = engine_start();
    set_option(engine, "OwnBook", "false");
    set_option(engine, "UCI_LimitStrength", "true");
    set_option(engine, "UCI_Elo", std::to_string(elo));
    return engine;
}

// The move of a bestmove line.
std::string played(const std::vector<std::string>& lines) {
    if (lines.empty() || lines.back().rfind("bestmove ", 0) != 0) return "none";
    return lines.back().substr(9, lines.back().find(' ', 9) - 9);
}

int count_lines(const std::vector<std::string>& lines, const std::string& text) {
    int n = 0;
    for (const auto& line : lines)
        n += line == text;
    return n;
}

void quit(EngineProcess& engine) {
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine, 10000), 0);
}

TEST(StrengthE2E, LowestLevelTakesWhatIsWonAndAnswersSooner) {
    EngineProcess engine = limited_engine(1350);
    const struct {
        const char* fen;
        const char* move;
    } cases[] = {
        {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "a1a8"},
        {"r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1", "a8a1"},
        {"r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4", "h5f7"},
        {"4k3/8/8/3q4/4P3/8/8/4K3 w - - 0 1", "e4d5"},
        {"4k3/8/8/8/3q4/8/4N3/4K3 w - - 0 1", "e2d4"},
        {"3Q1rk1/5ppp/8/8/8/8/5PPP/6K1 b - - 0 1", "f8d8"},
    };
    // Each game draws its choices from a new seed.
    for (int game = 0; game < 3; game++) {
        engine_send(engine, "ucinewgame");
        for (std::size_t i = 0; i < std::size(cases); i++) {
            const auto& c = cases[i];
            SCOPED_TRACE(std::string(c.fen) + " game " + std::to_string(game));
            engine_send(engine, std::string("position fen ") + c.fen);
            // At full strength this clock gives the move 1950 ms.
            auto start = Clock::now();
            engine_send(engine, "go wtime 60000 btime 60000");
            auto lines = until_bestmove(engine);
            EXPECT_LT(ms_since(start), 1000);
            EXPECT_EQ(played(lines), c.move);
            EXPECT_EQ(count_lines(lines, "info string playing at UCI_Elo 1350"),
                      game == 0 && i == 0);
        }
    }
    quit(engine);
}

TEST(StrengthE2E, LevelAnnouncedAfterEachChangeAndAnalysisIgnoresIt) {
    EngineProcess engine = limited_engine(1700);
    engine_send(engine, "position startpos moves e2e4 e7e5");
    const struct {
        const char* setoption; // sent first unless empty
        const char* go;
        const char* announced; // empty when nothing is
    } steps[] = {
        {"", "go depth 3", "info string playing at UCI_Elo 1700"},
        {"", "go depth 3", ""},
        {"UCI_Elo value 1700", "go depth 3", ""}, // set, but not changed
        {"UCI_Elo value 1400", "go depth 3", "info string playing at UCI_Elo 1400"},
        {"", "go infinite", "info string analysis at full strength (UCI_Elo 1400 is for play)"},
        {"", "go depth 3", "info string playing at UCI_Elo 1400"},
        {"UCI_LimitStrength value false", "go depth 3", "info string playing at full strength"},
        {"UCI_Elo value 2000", "go depth 3", ""}, // not in force
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.setoption) + " / " + step.go);
        if (*step.setoption) {
            engine_send(engine, std::string("setoption name ") + step.setoption);
            EXPECT_TRUE(engine_expect(engine, "info string UCI_").has_value());
        }
        engine_send(engine, step.go);
        const bool analysis = std::string(step.go) == "go infinite";
        std::vector<std::string> lines;
        if (analysis) {
            // Analysis searches on past any level's budget and answers only after "stop".
            auto start = Clock::now();
            while (ms_since(start) < 1500)
                if (auto line = engine_read_line(engine, 100)) lines.push_back(*line);
            EXPECT_EQ(played(lines), "none");
            engine_send(engine, "stop");
        }
        for (const auto& line : until_bestmove(engine))
            lines.push_back(line);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u) << lines.back();
        int infos                     = 0;
        unsigned long long most_nodes = 0;
        const std::regex nodes_field(".* nodes (\\d+) .*");
        for (const auto& line : lines) {
            infos += line.rfind("info string ", 0) == 0;
            std::smatch match;
            if (std::regex_match(line, match, nodes_field))
                most_nodes = std::max(most_nodes, std::stoull(match[1]));
        }
        // Far beyond the budget of 1400, which is a few thousand nodes.
        if (analysis) {
            EXPECT_GT(most_nodes, 100000u);
        }
        EXPECT_EQ(infos, *step.announced ? 1 : 0);
        if (*step.announced) {
            EXPECT_EQ(count_lines(lines, step.announced), 1);
        }
    }
    quit(engine);
}

TEST(StrengthE2E, PonderMultiPVSearchmovesAndThreadsAtALevel) {
    EngineProcess engine = limited_engine(1350);
    set_option(engine, "Ponder", "true");

    // A ponder search holds its answer until "ponderhit", then gives it at once.
    engine_send(engine, "position startpos moves e2e4");
    engine_send(engine, "go ponder wtime 10000 btime 10000");
    EXPECT_FALSE(engine_expect(engine, "bestmove", 700).has_value());
    auto start = Clock::now();
    engine_send(engine, "ponderhit");
    auto lines = until_bestmove(engine, 3000);
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex("bestmove \\S+ (ponder \\S+ )?")))
        << lines.back();
    EXPECT_LT(ms_since(start), 500);

    // Three variations are shown, and the move played is one of them, shown first.
    set_option(engine, "MultiPV", "3");
    engine_send(engine, "go wtime 10000 btime 10000");
    lines = until_bestmove(engine);
    std::set<std::string> shown;
    std::string first;
    const std::regex pv_line("info multipv ([123]) score .* pv (\\S+) .*");
    for (const auto& line : lines) {
        std::smatch match;
        if (!std::regex_match(line, match, pv_line)) continue;
        shown.insert(match[1]);
        if (match[1] == "1") first = match[2];
    }
    EXPECT_EQ(shown.size(), 3u);
    EXPECT_EQ(played(lines), first);
    set_option(engine, "MultiPV", "1");

    // Only the listed moves are played, however weak the level.
    engine_send(engine, "position startpos");
    for (int i = 0; i < 4; i++) {
        engine_send(engine, "go wtime 10000 btime 10000 searchmoves a2a3 h2h3");
        std::string move = played(until_bestmove(engine));
        EXPECT_TRUE(move == "a2a3" || move == "h2h3") << move;
    }

    // With worker threads the mate is still played.
    set_option(engine, "Threads", "2");
    engine_send(engine, "position fen 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    engine_send(engine, "go wtime 10000 btime 10000");
    EXPECT_EQ(played(until_bestmove(engine)), "a1a8");
    quit(engine);
}

} // namespace
} // namespace orbelin
