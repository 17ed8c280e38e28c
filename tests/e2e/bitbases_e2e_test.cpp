// Endgame bitbases through the real binary: the report without a library, loading from the
// build's bitbase directory, "bbhits" in the info lines and reloading on a cache change.
#include "engine_process.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orbelin {
namespace {

// The last "info score" line of a search.
std::string last_score_line(const std::vector<std::string>& lines) {
    std::string last;
    for (const auto& line : lines) {
        if (line.rfind("info score", 0) == 0) last = line;
    }
    return last;
}

TEST(BitbasesE2E, LoadedFromTheirDirectoryAndCountedInTheInfoLines) {
    EngineProcess engine = engine_start();
    ASSERT_FALSE(engine.startup_lines.empty());
    EXPECT_EQ(engine.startup_lines[0].rfind("info string ", 0), 0u);
    EXPECT_NE(engine.startup_lines[0].find("(./egbb//egbbso.so)"), std::string::npos)
        << engine.startup_lines[0];
    engine_send(engine, "position fen 3k4/8/3K4/8/3P4/8/8/8 w - - 0 1");
    engine_send(engine, "go depth 6");
    std::string score = last_score_line(until_bestmove(engine));
    EXPECT_EQ(score.find("bbhits"), std::string::npos) << score;

    engine_send(engine, std::string("setoption name Bitbases Path value ") + ORBELIN_EGBB_DIR);
    EXPECT_EQ(engine_read_line(engine),
              "info string endgame bitbases loaded (" ORBELIN_EGBB_DIR "/egbbso.so)");
    engine_send(engine, "go depth 8");
    auto lines = until_bestmove(engine);
    score      = last_score_line(lines);
    EXPECT_NE(score.find(" bbhits "), std::string::npos) << score;
    std::size_t cp_at = score.find("score cp ");
    ASSERT_NE(cp_at, std::string::npos) << score;
    EXPECT_GT(std::stoi(score.substr(cp_at + 9)), 2000) << score; // far above any material count
    EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u);

    // A drawn ending is a flat zero.
    engine_send(engine, "position fen 8/8/8/8/8/4k3/4P3/4K3 w - - 0 1");
    engine_send(engine, "go depth 8");
    score = last_score_line(until_bestmove(engine));
    EXPECT_NE(score.find("score cp 0 "), std::string::npos) << score;

    engine_send(engine, "setoption name Bitbases Cache Size value 32");
    EXPECT_EQ(engine_read_line(engine), "info string Bitbases Cache Size set to 32");
    EXPECT_EQ(engine_read_line(engine),
              "info string endgame bitbases loaded (" ORBELIN_EGBB_DIR "/egbbso.so)");
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine), 0);
}

} // namespace
} // namespace orbelin
