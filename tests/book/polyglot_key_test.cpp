// The Polyglot key against the published test keys, reached both from FEN and by playing the
// moves, and the en-passant rule for squares that come from a FEN.
#include "book/book.h"
#include "moves/picker.h"
#include "test_util.h"

namespace orbelin {
namespace {

struct PublishedKey {
    const char* moves;
    const char* fen;
    std::uint64_t key;
};

// The test keys of the format's documentation. The FENs give the en-passant square after
// every double push, as FEN does; the key counts it only with a capturer beside (d6 and e3 do
// not count, f6 and c3 do).
const PublishedKey PUBLISHED_KEYS[] = {
    {"", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0x463b96181691fc9cULL},
    {"e2e4", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 0x823c9b50fd114196ULL},
    {"e2e4 d7d5", "rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2",
     0x0756b94461c50fb0ULL},
    {"e2e4 d7d5 e4e5", "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2",
     0x662fafb965db29d4ULL},
    {"e2e4 d7d5 e4e5 f7f5", "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
     0x22a48b5a8e47ff78ULL},
    {"e2e4 d7d5 e4e5 f7f5 e1e2", "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR b kq - 0 3",
     0x652a607ca3f242c1ULL},
    {"e2e4 d7d5 e4e5 f7f5 e1e2 e8f7", "rnbq1bnr/ppp1pkpp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR w - - 0 4",
     0x00fdd303c946bdd9ULL},
    {"a2a4 b7b5 h2h4 b5b4 c2c4", "rnbqkbnr/p1pppppp/8/8/PpP4P/8/1P1PPPP1/RNBQKBNR b KQkq c3 0 3",
     0x3c8123ea7b067637ULL},
    {"a2a4 b7b5 h2h4 b5b4 c2c4 b4c3 a1a3",
     "rnbqkbnr/p1pppppp/8/8/P6P/R1p5/1P1PPPP1/1NBQKBNR b Kkq - 0 4", 0x5c3f9b829b279560ULL},
};

TEST(PolyglotKey, PublishedKeysFromFen) {
    for (const auto& c : PUBLISHED_KEYS) {
        SCOPED_TRACE(c.fen);
        EXPECT_EQ(polyglot_key(*make_position(c.fen)), c.key);
    }
}

TEST(PolyglotKey, PublishedKeysAfterPlayingTheMoves) {
    for (const auto& c : PUBLISHED_KEYS) {
        SCOPED_TRACE(c.moves);
        PositionPtr pos(position_new());
        int count = 0;
        for (const char* p = c.moves; *p != '\0'; p++)
            if (*p != ' ' && (p == c.moves || p[-1] == ' ')) count++;
        ASSERT_EQ(apply_move_text(*pos, c.moves), count);
        EXPECT_EQ(polyglot_key(*pos), c.key);
    }
}

struct EnPassantCase {
    const char* fen;
    const char* without_ep;
    bool counted;
};

const EnPassantCase EN_PASSANT_CASES[] = {
    {"4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1", "4k3/8/8/8/3pP3/8/8/4K3 b - - 0 1", true},
    {"4k3/8/8/8/4Pp2/8/8/4K3 b - e3 0 1", "4k3/8/8/8/4Pp2/8/8/4K3 b - - 0 1", true},
    {"4k3/8/8/2Pp4/8/8/8/4K3 w - d6 0 1", "4k3/8/8/2Pp4/8/8/8/4K3 w - - 0 1", true},
    // the capturing pawn is pinned: the file counts all the same
    {"3k4/8/8/8/3pP3/8/8/3RK3 b - e3 0 1", "3k4/8/8/8/3pP3/8/8/3RK3 b - - 0 1", true},
    // no capturer at all
    {"4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1", "4k3/8/8/8/4P3/8/8/4K3 b - - 0 1", false},
    {"4k3/8/8/3p4/8/8/8/4K3 w - d6 0 1", "4k3/8/8/3p4/8/8/8/4K3 w - - 0 1", false},
    // the pawn beside belongs to the side that pushed
    {"4k3/8/8/8/3PP3/8/8/4K3 b - e3 0 1", "4k3/8/8/8/3PP3/8/8/4K3 b - - 0 1", false},
    // a pawn one square away across the board's edge is not beside
    {"4k3/8/8/8/P7/7p/8/4K3 b - a3 0 1", "4k3/8/8/8/P7/7p/8/4K3 b - - 0 1", false},
    {"4k3/8/8/p7/7P/8/8/4K3 b - h3 0 1", "4k3/8/8/p7/7P/8/8/4K3 b - - 0 1", false},
    // a pawn of the side to move one rank off
    {"4k3/8/8/8/4P3/3p4/8/4K3 b - e3 0 1", "4k3/8/8/8/4P3/3p4/8/4K3 b - - 0 1", false},
};

TEST(PolyglotKey, EnPassantFromFenCountsOnlyWithACapturerBeside) {
    for (const auto& c : EN_PASSANT_CASES) {
        SCOPED_TRACE(c.fen);
        PositionPtr pos = make_position(c.fen);
        ASSERT_NE(pos->ep_square, 0); // the FEN reader kept the square
        int file               = file_of(pos->ep_square);
        std::uint64_t expected = polyglot_key(*make_position(c.without_ep));
        if (c.counted) expected ^= Random64[772 + file];
        EXPECT_EQ(polyglot_key(*pos), expected);
    }
}

// The same positions reached by the double push itself must key as the FEN with the square.
TEST(PolyglotKey, DoublePushKeysAsTheFenWithItsSquare) {
    const struct {
        const char* before;
        const char* push;
        const char* after;
    } cases[] = {
        {"4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1", "e2e4", "4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1"},
        {"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", "e2e4", "4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1"},
        {"4k3/3p4/8/2P5/8/8/8/4K3 b - - 0 1", "d7d5", "4k3/8/8/2Pp4/8/8/8/4K3 w - d6 0 1"},
        {"4k3/8/8/8/8/7p/P7/4K3 w - - 0 1", "a2a4", "4k3/8/8/8/P7/7p/8/4K3 b - a3 0 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after);
        PositionPtr pos = make_position(c.before);
        ASSERT_EQ(apply_move_text(*pos, c.push), 1);
        EXPECT_EQ(polyglot_key(*pos), polyglot_key(*make_position(c.after)));
    }
}

} // namespace
} // namespace orbelin
