// Searching with worker threads through the real binary: the answers of one thread, the worker
// pool following the "Threads" option, and commands arriving during threaded searches.
#include "engine_process.h"

#include <chrono>
#include <glib.h>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace orbelin {
namespace {

using Clock = std::chrono::steady_clock;

long long ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Sets an option and waits until the engine has applied it.
void set_option(EngineProcess& engine, const std::string& name, const std::string& value) {
    engine_send(engine, "setoption name " + name + " value " + value);
    engine_send(engine, "isready");
    EXPECT_TRUE(engine_expect(engine, "readyok", 10000).has_value()) << name << " " << value;
}

// The threads of the engine process, from /proc.
int thread_count(const EngineProcess& engine) {
    std::string path = "/proc/" + std::to_string(engine.pid) + "/task";
    GDir* dir        = g_dir_open(path.c_str(), 0, nullptr);
    if (dir == nullptr) return -1;
    int n = 0;
    while (g_dir_read_name(dir) != nullptr)
        n++;
    g_dir_close(dir);
    return n;
}

// The thread count once it has stayed the same for 50 ms (an ended thread may leave /proc a
// moment after it was joined), or the last count seen after two seconds.
int thread_count_settled(const EngineProcess& engine) {
    int n = thread_count(engine);
    for (int i = 0, same = 0; i < 200 && same < 5; i++) {
        g_usleep(10000);
        int now = thread_count(engine);
        same    = now == n ? same + 1 : 0;
        n       = now;
    }
    return n;
}

// The score text ("mate 2", "cp 742") of the last "info score" line.
std::string last_score(const std::vector<std::string>& lines) {
    std::string score;
    for (const auto& line : lines)
        if (line.rfind("info score ", 0) == 0) score = line.substr(11, line.find(" depth ") - 11);
    return score;
}

int count_prefix(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const auto& line : lines)
        n += line.rfind(prefix, 0) == 0;
    return n;
}

TEST(ThreadsE2E, WorkersFindTheMatesAndWinsOfOneThread) {
    struct Case {
        const char* fen;
        const char* bestmove;
        const char* score; // a mate, or empty for a material win of at least 500
    };
    const Case cases[] = {
        {"r1bq2r1/b4pk1/p1pp1p2/1p2pP2/1P2P1PB/3P4/1PPQ2P1/R3K2R w - - 0 1", "d2h6", "mate 2"},
        {"6k1/pp4p1/2p5/2bp4/8/P5Pb/1P3rrP/2BRRN1K b - - 0 1", "g2g1", "mate 2"},
        {"3q1rk1/p4pp1/2pb3p/3p4/6Pr/1PNQ4/P1PB1PP1/4RRK1 b - - 0 1", "d6h2", "mate 5"},
        {"r3r2k/2R3pp/pp1q1p2/8/3P3R/7P/PP3PP1/3Q2K1 w - - 0 1", "h4h7", "mate 4"},
        {"r4q1k/p2bR1rp/2p2Q1N/5p2/5p2/2P5/PP3PPP/R5K1 w - - 0 1", "e7f7", ""},
        {"r2qkb1r/1ppb1ppp/p7/4p3/P1Q1P3/2P5/5PPP/R1B2KNR b kq - 0 1", "d7b5", ""},
        {"3R1rk1/8/5Qpp/2p5/2P1p1q1/P3P3/1P2PK2/8 b - - 0 1", "g4h4", ""},
    };
    for (int threads : {1, 2, 3, 4, 8, 16}) {
        SCOPED_TRACE("Threads " + std::to_string(threads));
        EngineProcess engine = engine_start();
        set_option(engine, "OwnBook", "false");
        set_option(engine, "Threads", std::to_string(threads));
        for (const Case& c : cases) {
            SCOPED_TRACE(c.fen);
            engine_send(engine, "setoption name Clear Hash");
            engine_send(engine, std::string("position fen ") + c.fen);
            engine_send(engine, "go depth 6");
            auto lines = until_bestmove(engine, 120000);
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back(), std::string("bestmove ") + c.bestmove + " ");
            std::string score = last_score(lines);
            if (*c.score) {
                EXPECT_EQ(score, c.score);
            } else {
                ASSERT_EQ(score.rfind("cp ", 0), 0u) << score;
                EXPECT_GE(std::stoi(score.substr(3)), 500) << score;
            }
        }
        engine_send(engine, "quit");
        EXPECT_EQ(engine_wait(engine, 10000), 0);
    }
}

TEST(ThreadsE2E, WorkerPoolFollowsTheThreadsOption) {
    EngineProcess engine = engine_start();
    set_option(engine, "OwnBook", "false");
    // Threads counted with each value; the engine's own threads (and a sanitizer's) are those
    // counted with one thread, where no worker runs.
    std::map<int, int> counted;
    for (int threads : {4, 2, 1, 3}) {
        SCOPED_TRACE("Threads " + std::to_string(threads));
        engine_send(engine, "setoption name Threads value " + std::to_string(threads));
        EXPECT_EQ(engine_read_line(engine),
                  "info string Threads set to " + std::to_string(threads));
        engine_send(engine, "position fen r1bq2r1/b4pk1/p1pp1p2/1p2pP2/1P2P1PB/3P4/1PPQ2P1/R3K2R "
                            "w - - 0 1");
        engine_send(engine, "go depth 6");
        auto lines = until_bestmove(engine, 60000);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "bestmove d2h6 ");
        EXPECT_EQ(last_score(lines), "mate 2");
        engine_send(engine, "position startpos moves d2d4 d7d5 c2c4");
        engine_send(engine, "go depth 6");
        lines = until_bestmove(engine, 60000);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u);
        EXPECT_EQ(count_prefix(lines, "info depth 6"), 1);
        engine_send(engine, "stop"); // reclaims the finished search thread
        engine_send(engine, "isready");
        EXPECT_EQ(engine_read_line(engine), "readyok");
        counted[threads] = thread_count_settled(engine);
    }
    EXPECT_GT(counted[1], 0);
    EXPECT_EQ(counted[4] - counted[1], 4);
    EXPECT_EQ(counted[2] - counted[1], 2);
    EXPECT_EQ(counted[3] - counted[1], 3);
    // A refused value keeps the workers of the old one.
    engine_send(engine, "setoption name Threads value 0");
    engine_send(engine, "isready");
    EXPECT_EQ(engine_read_line(engine), "readyok");
    EXPECT_EQ(thread_count_settled(engine) - counted[1], 3);
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine, 10000), 0);
}

// Many short searches, each ended a different way while the workers are busy: every "go" gets
// exactly one "bestmove", and the engine answers correctly afterwards.
TEST(ThreadsE2E, ManyShortSearchesWithWorkers) {
    EngineProcess engine = engine_start();
    set_option(engine, "OwnBook", "false");
    set_option(engine, "Threads", "4");
    const char* const positions[] = {
        "position startpos",
        "position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5",
        "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "position fen 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "position fen 2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1",
    };
    const int cycles = 100;
    int answers = 0, searches = 0;
    for (int i = 0; i < cycles; i++) {
        SCOPED_TRACE("cycle " + std::to_string(i));
        engine_send(engine, positions[i % 5]);
        switch (i % 4) {
        case 0: // stopped at once
            engine_send(engine, "go infinite");
            engine_send(engine, "stop");
            break;
        case 1: // stopped while the workers search
            engine_send(engine, "go infinite");
            g_usleep(guint(1000 * (i % 7 + 1)));
            engine_send(engine, "stop");
            break;
        case 2: // ended by its own clock
            engine_send(engine, "go movetime " + std::to_string(i % 5 + 1));
            break;
        case 3: // ended by the next "go", which then runs to its depth
            engine_send(engine, "go infinite");
            g_usleep(guint(1000 * (i % 3)));
            engine_send(engine, "go depth 3");
            searches++;
            break;
        }
        searches++;
        while (answers < searches) {
            auto best = engine_expect(engine, "bestmove", 30000);
            ASSERT_TRUE(best.has_value());
            answers++;
        }
    }
    // Nothing more comes: no search answers twice.
    engine_send(engine, "isready");
    auto line = engine_expect(engine, "readyok", 10000);
    EXPECT_EQ(line, "readyok");
    EXPECT_EQ(answers, searches);

    engine_send(engine, "position fen 6k1/pp4p1/2p5/2bp4/8/P5Pb/1P3rrP/2BRRN1K b - - 0 1");
    engine_send(engine, "go depth 6");
    auto lines = until_bestmove(engine, 60000);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "bestmove g2g1 ");
    EXPECT_EQ(last_score(lines), "mate 2");
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine, 10000), 0);
}

TEST(ThreadsE2E, StopQuitAndEndOfInputDuringAThreadedSearch) {
    struct Case {
        const char* ending; // "stop", "quit" or "" for closing the input
        int threads;
    };
    const Case cases[] = {{"stop", 2}, {"quit", 3},  {"", 2}, {"", 4},
                          {"stop", 8}, {"quit", 16}, {"", 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(*c.ending ? c.ending : "end of input") + ", Threads " +
                     std::to_string(c.threads));
        EngineProcess engine = engine_start();
        set_option(engine, "OwnBook", "false");
        set_option(engine, "Threads", std::to_string(c.threads));
        engine_send(engine, "position startpos moves e2e4 e7e5 g1f3 b8c6");
        engine_send(engine, "go infinite");
        g_usleep(300000);
        auto start = Clock::now();
        if (*c.ending) {
            engine_send(engine, c.ending);
        } else {
            engine_close_input(engine);
        }
        if (std::string(c.ending) == "stop") {
            auto lines = until_bestmove(engine, 5000);
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u);
            EXPECT_LT(ms_since(start), 2000);
            engine_send(engine, "isready");
            EXPECT_EQ(engine_read_line(engine), "readyok");
            engine_send(engine, "quit");
        }
        EXPECT_EQ(engine_wait(engine, 10000), 0);
        EXPECT_LT(ms_since(start), 5000);
    }
}

} // namespace
} // namespace orbelin
