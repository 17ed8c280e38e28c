// The opening book through the real binary: a book move answers "go" at once, OwnBook off
// searches, a missing book is reported, and the default book of the repository opens.
#include "engine_process.h"

#include <cstdio>
#include <fstream>
#include <glib.h>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <vector>

namespace orbelin {
namespace {

// A book move's answer: the book and the move's weight, one score line at depth 0 with the
// static evaluation, then the move, without a ponder move.
void expect_book_answer(const std::vector<std::string>& lines, const std::string& book) {
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "info string book (" + book + ") move e2e4 weight 1 of 1");
    EXPECT_TRUE(
        std::regex_match(lines[1], std::regex("info depth 0 score cp -?\\d+ time 0 nodes 0 nps 0 "
                                              "pv e2e4")))
        << lines[1];
    EXPECT_EQ(lines[2], "bestmove e2e4 ");
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
    expect_book_answer(until_bestmove(engine), book);

    // A refused (too long) path keeps the book, which is reopened as for an accepted value.
    engine_send(engine, "setoption name Book File value /" + std::string(300, 'x'));
    EXPECT_EQ(engine_read_line(engine), "info string book (" + book + ") loaded");
    engine_send(engine, "go depth 6");
    expect_book_answer(until_bestmove(engine), book);

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
    expect_book_answer(until_bestmove(engine), book);
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
    ASSERT_EQ(lines.size(), 3u) << lines.front();
    EXPECT_EQ(lines[0].rfind("info string book (./performance.bin) move ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("info depth 0 score cp ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("bestmove ", 0), 0u);
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine), 0);
}

} // namespace
} // namespace orbelin
