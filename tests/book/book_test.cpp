// Book lookup on small books written by the tests: the halving search, the weighted choice,
// castling and promotion entries, legality, odd files and failing reads; then the real book.
#include "base/options.h"
#include "book/book.h"
#include "moves/picker.h"
#include "test_util.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <glib.h>
#include <glib/gstdio.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orbelin {
namespace {

const char START[] = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

struct Entry {
    std::uint64_t key;
    unsigned move;
    unsigned weight;
};

// Polyglot move word from "e7e8" and a promotion number.
unsigned pg(const char* text, int promo = POLYGLOT_PROMO_NONE) {
    return unsigned(promo << 12 | sq(text) << 6 | sq(text + 2));
}

std::string move_text(Move move) {
    if (move == 0) return "none";
    char buffer[8];
    move_to_text(move, buffer);
    return buffer;
}

// Writes the 16-byte big-endian form of each entry to out.
void append_entry(std::string& out, const Entry& e) {
    std::uint64_t fields[] = {e.key, e.move, e.weight, 0, 0};
    int widths[]           = {8, 2, 2, 2, 2};
    for (int f = 0; f < 5; f++)
        for (int i = widths[f] - 1; i >= 0; i--)
            out.push_back(char(fields[f] >> (8 * i) & 0xFF));
}

// `below` entries with keys under key and `above` over it, in pairs of equal keys next to
// the run (key - 1, key + 1 first), each with the move h2h3 so that a wrong run shows.
std::vector<Entry> fillers(std::uint64_t key, int below, int above) {
    std::vector<Entry> entries;
    for (int i = 0; i < below; i++)
        entries.push_back({key - 1 - std::uint64_t(i / 2), pg("h2h3"), 7});
    for (int i = 0; i < above; i++)
        entries.push_back({key + 1 + std::uint64_t(i / 2), pg("h2h3"), 7});
    return entries;
}

class BookTest : public ::testing::Test {
  protected:
    void TearDown() override {
        bookClose();
        std::strcpy(option_book_file, "./performance.bin");
        option_own_book = 1;
        for (const std::string& path : files)
            g_remove(path.c_str());
    }

    // A temporary book of the entries, stably sorted by key, plus `tail` stray bytes.
    std::string write_book(std::vector<Entry> entries, int tail = 0) {
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.key < b.key; });
        std::string bytes;
        for (const Entry& e : entries)
            append_entry(bytes, e);
        bytes.append(std::size_t(tail), '\x5A');
        gchar* name = nullptr;
        int fd      = g_file_open_tmp("orbelin-book-XXXXXX.bin", &name, nullptr);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        close(fd);
        files.push_back(name);
        g_free(name);
        return files.back();
    }

    // Opens the book at path as setting "Book File" does; answers what was printed.
    static std::string open_book(const std::string& path) {
        testing::internal::CaptureStdout();
        g_strlcpy(option_book_file, path.c_str(), sizeof option_book_file);
        bookClose();
        bookOpen();
        return testing::internal::GetCapturedStdout();
    }

    std::vector<std::string> files;
};

// The book move for the FEN, the position checked unchanged afterwards.
std::string lookup(const char* fen) {
    PositionPtr pos    = make_position(fen);
    std::uint64_t key  = pos->key;
    std::uint64_t pkey = polyglot_key(*pos);
    std::string result = move_text(book_move(*pos));
    EXPECT_EQ(pos->key, key);
    EXPECT_EQ(pos->ply, 0);
    EXPECT_EQ(polyglot_key(*pos), pkey);
    return result;
}

const struct {
    int below, above;
} LAYOUTS[] = {{0, 0}, {1, 0}, {0, 1}, {2, 3}, {7, 8}, {300, 1000}, {1000, 5}};

TEST_F(BookTest, SingleEntryRunAlwaysYieldsItsMove) {
    const std::uint64_t key = polyglot_key(*make_position(START));
    for (const auto& layout : LAYOUTS) {
        SCOPED_TRACE(testing::Message() << layout.below << " below, " << layout.above << " above");
        std::vector<Entry> entries = fillers(key, layout.below, layout.above);
        entries.push_back({key, pg("e2e4"), 1});
        EXPECT_NE(open_book(write_book(entries)).find(" loaded"), std::string::npos);
        ASSERT_TRUE(book_available());
        for (int draw = 0; draw < 50; draw++)
            ASSERT_EQ(lookup(START), "e2e4");
    }
}

TEST_F(BookTest, WeightsOneAndThreeYieldTheSecondMoveThreeTimesAsOften) {
    const std::uint64_t key = polyglot_key(*make_position(START));
    for (const auto& layout : {LAYOUTS[0], LAYOUTS[3], LAYOUTS[5]}) {
        SCOPED_TRACE(testing::Message() << layout.below << " below, " << layout.above << " above");
        std::vector<Entry> entries = fillers(key, layout.below, layout.above);
        entries.push_back({key, pg("d2d4"), 1});
        entries.push_back({key, pg("e2e4"), 3});
        open_book(write_book(entries));
        const int draws = 2000;
        int first = 0, second = 0;
        for (int draw = 0; draw < draws; draw++) {
            std::string move = lookup(START);
            if (move == "d2d4") first++;
            if (move == "e2e4") second++;
        }
        EXPECT_EQ(first + second, draws);
        // Expected 1500 of 2000, one standard deviation about 19.
        EXPECT_GT(second, 1400);
        EXPECT_LT(second, 1600);
    }
}

TEST_F(BookTest, EntriesOfWeightZeroAreNeverChosen) {
    const std::uint64_t key = polyglot_key(*make_position(START));
    const struct {
        const char* name;
        std::vector<Entry> run;
        const char* expected;
    } cases[] = {
        {"all zero", {{key, pg("e2e4"), 0}, {key, pg("d2d4"), 0}}, "none"},
        {"one positive among zeroes",
         {{key, pg("e2e4"), 0}, {key, pg("d2d4"), 5}, {key, pg("c2c4"), 0}},
         "d2d4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Entry> entries = fillers(key, 4, 4);
        entries.insert(entries.end(), c.run.begin(), c.run.end());
        open_book(write_book(entries));
        for (int draw = 0; draw < 100; draw++)
            ASSERT_EQ(lookup(START), c.expected);
    }
}

// Each case: a one-entry book for the position holding the book move.
const struct {
    const char* fen;
    unsigned book;
    const char* expected;
} MOVE_CASES[] = {
    // castling written as the king taking its own rook
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", pg("e1h1"), "e1g1"},
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", pg("e1a1"), "e1c1"},
    {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", pg("e8h8"), "e8g8"},
    {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", pg("e8a8"), "e8c8"},
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", pg("e1g1"), "none"},   // not how books castle
    {"r3k2r/8/8/8/8/8/8/R3K1NR w KQkq - 0 1", pg("e1h1"), "none"},  // g1 occupied
    {"r3k2r/8/8/8/8/8/5r2/R3K2R w KQkq - 0 1", pg("e1h1"), "none"}, // through f1 attacked
    {"r3k2r/8/8/8/8/8/5r2/R3K2R w KQkq - 0 1", pg("e1a1"), "e1c1"},
    {"r3k2r/8/8/8/8/8/8/R3K2R w kq - 0 1", pg("e1h1"), "none"},  // right gone
    {"3k4/8/8/8/8/8/8/3KR3 w - - 0 1", pg("e1h1"), "e1h1"},      // a rook's move indeed
    {"4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", pg("e1h1", 4), "none"}, // castling with promotion bits
    // promotions by their bits
    {"7k/4P3/8/8/8/8/8/4K3 w - - 0 1", pg("e7e8", POLYGLOT_PROMO_QUEEN), "e7e8q"},
    {"7k/4P3/8/8/8/8/8/4K3 w - - 0 1", pg("e7e8", POLYGLOT_PROMO_KNIGHT), "e7e8n"},
    {"7k/4P3/8/8/8/8/8/4K3 w - - 0 1", pg("e7e8", POLYGLOT_PROMO_BISHOP), "e7e8b"},
    {"3r3k/4P3/8/8/8/8/8/4K3 w - - 0 1", pg("e7d8", POLYGLOT_PROMO_ROOK), "e7d8r"},
    {"7k/4P3/8/8/8/8/8/4K3 w - - 0 1", pg("e7e8"), "none"},
    {"4k3/8/8/8/8/8/p7/4K3 b - - 0 1", pg("a2a1", POLYGLOT_PROMO_QUEEN), "a2a1q"},
    // other moves, en passant included
    {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", pg("e5d6"), "e5d6"},
    {START, pg("g1f3"), "g1f3"},
    {START, pg("e2e4", POLYGLOT_PROMO_QUEEN), "none"},
    // illegal here
    {START, pg("e2e5"), "none"},
    {START, pg("e7e5"), "none"},                               // the other side's move
    {"4k3/4r3/8/8/8/8/4B3/4K3 w - - 0 1", pg("e2d3"), "none"}, // pinned bishop
    {"4k3/8/8/8/8/8/3r4/4K3 w - - 0 1", pg("e1e2"), "none"},   // king into check
    {START, 0, "none"},                                        // a1a1, the empty move
};

TEST_F(BookTest, BookMoveIsPlayedOnlyAsALegalMove) {
    for (const auto& c : MOVE_CASES) {
        SCOPED_TRACE(testing::Message() << c.fen << " book move " << std::hex << c.book);
        const std::uint64_t key    = polyglot_key(*make_position(c.fen));
        std::vector<Entry> entries = fillers(key, 3, 3);
        entries.push_back({key, c.book, 10});
        open_book(write_book(entries));
        for (int draw = 0; draw < 5; draw++)
            EXPECT_EQ(lookup(c.fen), c.expected);
    }
}

TEST_F(BookTest, OnlyARegularFileWithAWholeEntryIsLoaded) {
    const std::uint64_t key = polyglot_key(*make_position(START));
    std::string fifo =
        std::string(g_get_tmp_dir()) + "/orbelin-book-fifo-" + std::to_string(getpid());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        const char* name;
        std::string path;
    } refused[] = {
        {"missing", "/nonexistent/orbelin/book.bin"},
        {"a directory", g_get_tmp_dir()},
        {"0 bytes", write_book({}, 0)},
        {"10 bytes", write_book({}, 10)},
        {"15 bytes", write_book({}, 15)},
        {"/dev/null", "/dev/null"},
        {"/dev/zero", "/dev/zero"},
        {"/proc/self/mem", "/proc/self/mem"},
        {"a FIFO without a writer", fifo}, // must not block the open
    };
    std::string book = write_book({{key, pg("e2e4"), 1}});
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        open_book(book);
        ASSERT_TRUE(book_available());
        testing::internal::CaptureStderr();
        EXPECT_EQ(open_book(c.path), "info string book (" + c.path + ") not loaded\n");
        testing::internal::GetCapturedStderr();
        EXPECT_STREQ(option_book_file, c.path.c_str());
        EXPECT_FALSE(book_available());
        EXPECT_EQ(lookup(START), "none");
    }
    g_unlink(fifo.c_str());

    // A trailing partial entry is ignored, and no read goes past the end.
    std::string path = write_book({{key, pg("c2c4"), 2}}, 10);
    EXPECT_EQ(open_book(path), "info string book (" + path + ") loaded\n");
    EXPECT_EQ(entry_count, 1);
    testing::internal::CaptureStderr();
    for (int draw = 0; draw < 10; draw++)
        EXPECT_EQ(lookup(START), "c2c4");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(book_available());
}

TEST_F(BookTest, OwnBookOnlyGatesTheBook) {
    open_book(write_book({{polyglot_key(*make_position(START)), pg("e2e4"), 1}}));
    option_own_book = 0;
    EXPECT_FALSE(book_available());
    EXPECT_NE(book_file, nullptr);
    option_own_book = 1;
    EXPECT_TRUE(book_available());
    EXPECT_EQ(lookup(START), "e2e4");
}

TEST_F(BookTest, ReadFailureAfterOpeningClosesTheBook) {
    const std::uint64_t key = polyglot_key(*make_position(START));
    // Larger than the stream's buffer, so that the lookup must read the file again.
    std::vector<Entry> entries = fillers(key, 2000, 2000);
    entries.push_back({key, pg("e2e4"), 1});
    std::string path = write_book(entries);
    open_book(path);
    ASSERT_TRUE(book_available());
    ASSERT_EQ(truncate(path.c_str(), 16 * 20 + 5), 0); // cut short after opening

    testing::internal::CaptureStderr();
    EXPECT_EQ(lookup(START), "none");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("readInteger(): fgetc(): EOF reached\n"), std::string::npos) << err;
    EXPECT_EQ(book_file, nullptr);
    EXPECT_FALSE(book_available());

    testing::internal::CaptureStderr();
    EXPECT_EQ(lookup(START), "none");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// The Polyglot book that Debian's gnuchess-book package installs (the default book's source).
const char DEBIAN_BOOK[] = "/usr/share/games/gnuchess/book.bin";

TEST_F(BookTest, RealBookAnswersLegalMovesInTheOpening) {
    if (!g_file_test(DEBIAN_BOOK, G_FILE_TEST_IS_REGULAR))
        GTEST_SKIP() << DEBIAN_BOOK << " is not installed";
    open_book(DEBIAN_BOOK);
    ASSERT_TRUE(book_available());
    const struct {
        const char* fen;
        const char* moves;
    } cases[] = {
        {START, ""},
        {START, "e2e4"},
        // A GUI's FEN after 1.e4 names e3, which the key must not count.
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", ""},
        {START, "d2d4 g8f6 c2c4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fen << " moves " << c.moves);
        PositionPtr pos = make_position(c.fen);
        apply_move_text(*pos, c.moves);
        RootMoveList legal;
        legal_moves(*pos, legal);
        for (int draw = 0; draw < 20; draw++) {
            Move move = book_move(*pos);
            ASSERT_NE(move, 0u);
            bool found = false;
            for (std::uint32_t i = 0; i < legal.count; i++)
                found = found || legal.moves[i].move == move;
            EXPECT_TRUE(found) << move_text(move);
        }
    }
}

} // namespace
} // namespace orbelin
