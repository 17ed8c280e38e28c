// Faults a GUI can provoke, through the real binary: output of two threads meeting, inputs that
// could block, malformed numbers, odd line ends, large tables.
#include "engine_process.h"

#include <chrono>
#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orbelin {
namespace {

using Clock = std::chrono::steady_clock;

long long ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void quit(EngineProcess& engine) {
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine, 10000), 0);
}

// Searches finishing while the main thread prints board dumps (for "debug" and for a move that
// cannot be played) of a long game, whose history line is long: every line arrives whole, so
// every search's bestmove is seen.
TEST(RobustnessE2E, EveryLineArrivesWholeWhileDumpsArePrinted) {
    EngineProcess engine = engine_start();
    std::string game     = "position startpos moves";
    for (int i = 0; i < 200; i++)
        game += " g1f3 g8f6 f3g1 f6g8";
    constexpr int SEARCHES = 300;
    std::string commands;
    for (int i = 0; i < SEARCHES; i++) {
        commands += game + "\n";
        commands += i % 2 ? "go depth 2\n" : "go depth 1\n";
        commands += "debug\n";
        commands += game + " e2e5\n"; // dumps the board, then refuses e2e5
    }
    commands += "isready\n";
    // Written from a thread of its own while this one reads: the dumps fill the output pipe
    // long before the commands are all written.
    struct Writer {
        EngineProcess* engine;
        const std::string* text;
    } writer{&engine, &commands};
    GThread* thread = g_thread_new(
        "writer",
        [](gpointer data) -> gpointer {
            auto* w = static_cast<Writer*>(data);
            engine_write(*w->engine, *w->text);
            return nullptr;
        },
        &writer);
    const std::regex bestmove("bestmove [a-h][1-8][a-h][1-8][nbrq]? ");
    const std::regex history("History: (g1f3 g8f6 f3g1 f6g8 ){200}");
    int bestmoves = 0, histories = 0;
    bool ready = false;
    while (!ready || bestmoves < SEARCHES) {
        auto line = engine_read_line(engine, 20000);
        if (!line) break;
        if (line->find("bestmove") != std::string::npos) {
            EXPECT_TRUE(std::regex_match(*line, bestmove)) << *line;
            bestmoves++;
        }
        if (line->find("History:") != std::string::npos) {
            EXPECT_TRUE(std::regex_match(*line, history)) << *line;
            histories++;
        }
        ready |= *line == "readyok";
    }
    g_thread_join(thread);
    EXPECT_EQ(bestmoves, SEARCHES);
    EXPECT_EQ(histories, 2 * SEARCHES);
    quit(engine);
}

// A book path naming a FIFO, a device or an empty file opens nothing and blocks nothing.
TEST(RobustnessE2E, BookFileThatIsNoRegularFileIsNotLoaded) {
    EngineProcess engine = engine_start();
    std::string fifo     = engine.workdir + "/book.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string empty = engine.workdir + "/empty.bin";
    g_file_set_contents(empty.c_str(), "", 0, nullptr);
    for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/null"),
                                    std::string("/proc/self/mem"), empty}) {
        SCOPED_TRACE(path);
        engine_send(engine, "setoption name Book File value " + path);
        EXPECT_EQ(engine_read_line(engine, 2000), "info string book (" + path + ") not loaded");
        engine_send(engine, "isready");
        EXPECT_EQ(engine_read_line(engine, 2000), "readyok");
    }
    quit(engine);
    g_unlink(fifo.c_str());
    g_unlink(empty.c_str());
    g_rmdir(engine.workdir.c_str());
}

// Negative or malformed numbers in "go" count as missing, so these are bare one-iteration
// searches; none may run until "stop".
TEST(RobustnessE2E, MalformedGoNumbersCountAsMissing) {
    EngineProcess engine = engine_start();
    engine_send(engine, "position startpos moves e2e4");
    for (const char* go : {"go nodes -1", "go depth -3", "go movetime -5", "go nodes 12x",
                           "go depth abc", "go movetime 1e9 nodes -"}) {
        SCOPED_TRACE(go);
        auto start = Clock::now();
        engine_send(engine, go);
        auto lines = until_bestmove(engine, 3000);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u);
        EXPECT_LT(ms_since(start), 2000);
    }
    quit(engine);
}

// Only "\n" ends a line, and a "\r" before it is dropped; other bytes stay in the line.
TEST(RobustnessE2E, LinesEndAtNewlineOnly) {
    EngineProcess engine = engine_start();
    engine_write(engine, "isready\r\n");
    EXPECT_EQ(engine_read_line(engine), "readyok");
    engine_write(engine, "isready\xE2\x80\xA9\n"); // U+2029 is part of the word
    EXPECT_EQ(engine_read_line(engine), "Unknown uci command:isready\xE2\x80\xA9");
    engine_write(engine, "isready\risready\n"); // a lone "\r" ends no line
    engine_send(engine, "isready");
    EXPECT_EQ(engine_read_line(engine), "readyok");
    EXPECT_EQ(engine_read_line(engine), "readyok");
    engine_send(engine, "isready");
    EXPECT_EQ(engine_read_line(engine, 500), "readyok");
    EXPECT_FALSE(engine_read_line(engine, 200).has_value()); // nothing else was answered
    quit(engine);
}

// The largest table is ready at once: its memory is zeroed as it is first touched.
TEST(RobustnessE2E, LargestHashIsReadyPromptly) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer's allocator touches every page of a 4 GB table";
#endif
    EngineProcess engine = engine_start();
    auto start           = Clock::now();
    engine_send(engine, "setoption name Hash value 4096");
    engine_send(engine, "isready");
    EXPECT_EQ(engine_read_line(engine, 10000), "info string Hash set to 4096");
    EXPECT_EQ(engine_read_line(engine, 10000), "readyok");
    EXPECT_LT(ms_since(start), 3000);
    engine_send(engine, "position startpos moves e2e4");
    engine_send(engine, "go depth 5");
    EXPECT_EQ(until_bestmove(engine).back().rfind("bestmove ", 0), 0u);
    quit(engine);
}

} // namespace
} // namespace orbelin
