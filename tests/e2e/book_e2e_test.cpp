// The opening book through the real binary: a book move answers "go" at once, OwnBook off
// searches, a missing book is reported, and the default book of the repository opens.
#include "engine_process.h"

#include <cstdio>
#include <fstream>
#include <glib.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orbelin {
namespace {

// A one-entry Polyglot book: the start position answered by e2e4.
std::string write_start_book(const std::string& dir) {
    const unsigned char entry[16] = {0x46, 0x3B, 0x96, 0x18, 0x16, 0x91, 0xFC, 0x9C, // key
                                     0x03, 0x1C, 0x00, 0x01, 0,    0,    0,    0}; // e2e4, weight 1
    std::string path              = dir + "/start.bin";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(entry), 16);
    return path;
}

TEST(BookE2E, BookMoveAnswersAtOnceAndOwnBookOffSearches) {
    EngineProcess engine = engine_start();
    EXPECT_EQ(engine.startup_lines.at(engine.startup_lines.size() - 1),
              "info string book (./performance.bin) not loaded");
    std::string book = write_start_book(engine.workdir);
    engine_send(engine, "setoption name Book File value " + book);
    EXPECT_EQ(engine_read_line(engine), "info string book (" + book + ") loaded");
    engine_send(engine, "setoption name Ponder value true");
    EXPECT_EQ(engine_read_line(engine), "info string Ponder set to true");
    engine_send(engine, "position startpos");
    engine_send(engine, "go depth 6");
    EXPECT_EQ(until_bestmove(engine), std::vector<std::string>{"bestmove e2e4 "});

    // A refused (too long) path keeps the book, which is reopened as for an accepted value.
    engine_send(engine, "setoption name Book File value /" + std::string(300, 'x'));
    EXPECT_EQ(engine_read_line(engine), "info string book (" + book + ") loaded");
    engine_send(engine, "go depth 6");
    EXPECT_EQ(until_bestmove(engine), std::vector<std::string>{"bestmove e2e4 "});

    // Analysis never plays from the book: it searches until "stop".
    engine_send(engine, "go infinite");
    EXPECT_FALSE(engine_expect(engine, "bestmove", 500).has_value());
    engine_send(engine, "stop");
    auto analysed = until_bestmove(engine);
    EXPECT_GT(analysed.size(), 1u);
    EXPECT_EQ(analysed.back().rfind("bestmove ", 0), 0u);

    engine_send(engine, "setoption name OwnBook value false");
    EXPECT_EQ(engine_read_line(engine), "info string OwnBook set to false");
    engine_send(engine, "go depth 5");
    auto lines = until_bestmove(engine);
    EXPECT_GT(lines.size(), 1u); // searched: info lines before the answer

    engine_send(engine, "setoption name Book File value " + engine.workdir + "/missing.bin");
    EXPECT_EQ(engine_read_line(engine),
              "info string book (" + engine.workdir + "/missing.bin) not loaded");
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine), 0);
    std::remove(book.c_str());
}

// Polyglot keys and castling moves are those of standard chess: in Chess960 the book stays open
// but the engine searches, also the standard start position; back in standard chess it plays
// from the book again.
TEST(BookE2E, Chess960SearchesInsteadOfTheBook) {
    EngineProcess engine = engine_start();
    std::string book     = write_start_book(engine.workdir);
    engine_send(engine, "setoption name Book File value " + book);
    EXPECT_EQ(engine_read_line(engine), "info string book (" + book + ") loaded");
    engine_send(engine, "setoption name UCI_Chess960 value true");
    EXPECT_EQ(engine_read_line(engine), "info string UCI_Chess960 set to true");
    EXPECT_EQ(engine_read_line(engine),
              "info string no book moves in Chess960: Polyglot keys are for standard chess");
    engine_send(engine, "position startpos");
    engine_send(engine, "go depth 5");
    auto lines = until_bestmove(engine);
    EXPECT_GT(lines.size(), 1u); // searched: info lines before the answer
    engine_send(engine, "setoption name UCI_Chess960 value false");
    EXPECT_EQ(engine_read_line(engine), "info string UCI_Chess960 set to false");
    engine_send(engine, "position startpos");
    engine_send(engine, "go depth 5");
    EXPECT_EQ(until_bestmove(engine), std::vector<std::string>{"bestmove e2e4 "});
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine), 0);
    std::remove(book.c_str());
}

TEST(BookE2E, DefaultBookOfTheRepositoryOpens) {
    std::string root = ORBELIN_SOURCE_DIR;
    if (!g_file_test((root + "/performance.bin").c_str(), G_FILE_TEST_EXISTS))
        GTEST_SKIP() << "no ./performance.bin: make test provides it";
    EngineProcess engine = engine_start(root);
    bool loaded          = false;
    for (const auto& line : engine.startup_lines)
        loaded |= line == "info string book (./performance.bin) loaded";
    EXPECT_TRUE(loaded);
    engine_send(engine, "position startpos");
    engine_send(engine, "go wtime 60000 btime 60000");
    auto lines = until_bestmove(engine);
    ASSERT_EQ(lines.size(), 1u) << lines.front();
    EXPECT_EQ(lines[0].rfind("bestmove ", 0), 0u);
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine), 0);
}

} // namespace
} // namespace orbelin
