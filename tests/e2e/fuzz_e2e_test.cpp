// A small seeded fuzzer over the real binary: mutated commands, FENs and option values, in
// random orders with searches. The engine must stay alive and answer readiness, answer every
// "go" with one well-formed bestmove, and end with status 0.
#include "engine_process.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <vector>

namespace orbelin {
namespace {

const char* const WORDS[] = {
    "uci",
    "isready",
    "ucinewgame",
    "stop",
    "ponderhit",
    "debug",
    "go",
    "position",
    "setoption",
    "startpos",
    "fen",
    "moves",
    "name",
    "value",
    "depth",
    "movetime",
    "nodes",
    "wtime",
    "btime",
    "winc",
    "binc",
    "movestogo",
    "infinite",
    "ponder",
    "searchmoves",
    "e2e4",
    "e7e5",
    "g1f3",
    "e7e8q",
    "e1g1",
    "0000",
    "-1",
    "0",
    "1",
    "3",
    "99999999999",
    "abc",
    "Hash",
    "MultiPV",
    "Ponder",
    "OwnBook",
    "true",
    "Book",
    "File",
    "Clear",
    "Bitbases",
    "Path",
    "Cache",
    "Size",
    "on",
    "off",
    "\xE2\x80\xA9",
    "\t",
    "w",
    "b",
    "-",
    "KQkq",
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",
    "8/8/8/4k3/8/8/8/4K3",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R",
    "8/8/8/8/8/8/8/8",
};

const char* const LINES[] = {
    "position startpos moves e2e4 e7e5 g1f3",
    "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "position fen 8/8/8/4k3/8/8/4P3/4K3 w - - 0 1 moves e2e4",
    "go depth 3",
    "go movetime 20",
    "go nodes 2000",
    "go wtime 200 btime 200 winc 10 binc 10",
    "go ponder movetime 10",
    "go infinite",
    "go depth 2 searchmoves e2e4 d2d4",
    "stop",
    "ponderhit",
    "isready",
    "setoption name MultiPV value 2",
    "setoption name Ponder value true",
    "setoption name Hash value 2",
    "setoption name Clear Hash",
    "debug",
};

// One line: a known line, mutated or not, or words drawn at random.
std::string random_line(GRand* rng) {
    std::string line;
    if (g_rand_int_range(rng, 0, 3) != 0) {
        line          = LINES[g_rand_int_range(rng, 0, G_N_ELEMENTS(LINES))];
        int mutations = g_rand_int_range(rng, 0, 3);
        for (int i = 0; i < mutations && !line.empty(); i++) {
            auto at = std::size_t(g_rand_int_range(rng, 0, int(line.size())));
            switch (g_rand_int_range(rng, 0, 4)) {
            case 0:
                line.erase(at, std::size_t(g_rand_int_range(rng, 1, 6)));
                break;
            case 1: {
                std::string mutated = line.substr(0, at);
                mutated.append(WORDS[g_rand_int_range(rng, 0, G_N_ELEMENTS(WORDS))]);
                mutated.append(line, at, std::string::npos);
                line.swap(mutated);
                break;
            }
            case 2:
                line[at] = char(g_rand_int_range(rng, 1, 256));
                break;
            default:
                line[at] = ' ';
                break;
            }
        }
    } else {
        int words = g_rand_int_range(rng, 1, 12);
        for (int i = 0; i < words; i++) {
            if (i) line.push_back(' ');
            line.append(WORDS[g_rand_int_range(rng, 0, G_N_ELEMENTS(WORDS))]);
        }
    }
    for (char& c : line)
        if (c == '\n') c = ' ';
    return line;
}

TEST(FuzzE2E, SeededRandomLinesNeverBreakTheProtocol) {
    EngineProcess engine = engine_start();
    GRand* rng           = g_rand_new_with_seed(20261210);
    const std::regex bestmove("bestmove ([a-h][1-8][a-h][1-8][nbrq]?|0000) (ponder "
                              "[a-h][1-8][a-h][1-8][nbrq]? )?");
    int gos = 0, bestmoves = 0;
    auto read_until_ready = [&] {
        for (;;) {
            auto line = engine_read_line(engine, 10000);
            if (!line) return false;
            if (line->find("bestmove") != std::string::npos) {
                EXPECT_TRUE(std::regex_match(*line, bestmove)) << *line;
                bestmoves++;
            }
            if (*line == "readyok") return true;
        }
    };
    for (int batch = 0; batch < 100; batch++) {
        for (int i = 0; i < 20; i++) {
            std::string line = random_line(rng);
            // The command word decides what the engine runs: count the searches asked for.
            std::size_t start = line.find_first_not_of(" \t\r\f\v");
            if (start != std::string::npos &&
                g_ascii_strncasecmp(line.c_str() + start, "go", 2) == 0 &&
                (line.size() == start + 2 || g_ascii_isspace(line[start + 2])))
                gos++;
            engine_send(engine, line);
        }
        engine_send(engine, "isready");
        ASSERT_TRUE(read_until_ready()) << "no readyok after batch " << batch;
    }
    g_rand_free(rng);
    engine_send(engine, "quit");
    while (auto line = engine_read_line(engine, 10000)) {
        if (line->find("bestmove") != std::string::npos) {
            EXPECT_TRUE(std::regex_match(*line, bestmove)) << *line;
            bestmoves++;
        }
    }
    EXPECT_EQ(engine_wait(engine, 10000), 0);
    EXPECT_GT(gos, 100); // the lines did ask for searches
    EXPECT_EQ(bestmoves, gos);
}

} // namespace
} // namespace orbelin
