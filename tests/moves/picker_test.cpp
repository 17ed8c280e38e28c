// Generation order and keys, the pickers' order, legal_moves and reading move text.
#include "move_checks.h"
#include "moves/generate.h"
#include "moves/make.h"
#include "moves/picker.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orbelin {
namespace {

std::string texts(const Move* moves, std::uint32_t count) {
    std::string out;
    for (std::uint32_t i = 0; i < count; i++) {
        char text[6];
        move_to_text(moves[i], text);
        if (i) out += ' ';
        out += text;
    }
    return out;
}

std::string legal_texts(Position& pos) {
    RootMoveList list;
    legal_moves(pos, list);
    std::vector<Move> moves;
    for (std::uint32_t i = 0; i < list.count; i++)
        moves.push_back(list.moves[i].move);
    return texts(moves.data(), list.count);
}

TEST(Generate, CapturesInOrderWithTheirKeys) {
    auto pos = make_position("r1n1k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
    MoveList list;
    gen_captures(*pos, list);
    EXPECT_EQ(texts(list.moves, list.count),
              "b7b8q b7b8r b7b8b b7b8n b7c8q b7c8r b7c8b b7c8n b7a8q b7a8r b7a8b b7a8n");
    const int keys[] = {975, 500, 325, 300, 1275, 800, 625, 600, 1475, 1000, 825, 800};
    for (int i = 0; i < 12; i++)
        EXPECT_EQ(list.keys[i], keys[i]) << i;

    auto mixed = make_position("4k3/8/8/2q1p3/3P4/8/7Q/4K3 w - - 0 1");
    gen_captures(*mixed, list);
    EXPECT_EQ(texts(list.moves, list.count), "d4e5 d4c5 h2e5");
    EXPECT_EQ(list.keys[0], 0);
    EXPECT_EQ(list.keys[1], 975 - 90);
    EXPECT_EQ(list.keys[2], 90 - 975);

    auto ep = make_position("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    gen_captures(*ep, list);
    EXPECT_EQ(texts(list.moves, list.count), "e5d6");
    EXPECT_EQ(move_type(list.moves[0]), MOVE_EN_PASSANT);
    EXPECT_EQ(list.keys[0], 0);
}

TEST(Generate, QuietMovesInOrder) {
    PositionPtr start(position_new());
    MoveList list;
    gen_quiets(*start, list);
    EXPECT_EQ(texts(list.moves, list.count),
              "a2a3 b2b3 c2c3 d2d3 e2e3 f2f3 g2g3 h2h3 a2a4 b2b4 c2c4 d2d4 e2e4 f2f4 g2g4 h2h4 "
              "b1a3 b1c3 g1f3 g1h3");
    for (std::uint32_t i = 0; i < list.count; i++)
        EXPECT_EQ(list.keys[i], 0);

    struct Case {
        const char* fen;
        const char* moves;
    };
    const Case cases[] = {
        {"4k3/8/8/8/8/n7/P7/4K3 w - - 0 1", "e1d1 e1f1 e1d2 e1e2 e1f2"},      // a3 blocked
        {"4k3/8/8/8/n7/8/P7/4K3 w - - 0 1", "a2a3 e1d1 e1f1 e1d2 e1e2 e1f2"}, // a4 blocked
        {"4k3/8/8/8/8/8/8/4KB1R w K - 0 1", "f1e2 f1g2 f1d3 f1h3 f1c4 f1b5 f1a6 h1g1 h1h2 h1h3 "
                                            "h1h4 h1h5 h1h6 h1h7 h1h8 e1d1 e1d2 e1e2 e1f2"},
        {"4k3/8/8/8/8/8/8/R3K2r w Q - 0 1",
         "e1c1 a1b1 a1c1 a1d1 a1a2 a1a3 a1a4 a1a5 a1a6 a1a7 "
         "a1a8 e1d1 e1f1 e1d2 e1e2 e1f2"}, // listed though in check
        {"r3k2r/p6p/8/8/8/8/8/4K3 b kq - 0 1", "a7a6 h7h6 a7a5 h7h5 e8g8 e8c8 a8b8 a8c8 a8d8 "
                                               "h8f8 h8g8 e8d7 e8e7 e8f7 e8d8 e8f8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        auto pos = make_position(c.fen);
        gen_quiets(*pos, list);
        EXPECT_EQ(texts(list.moves, list.count), c.moves);
    }
}

TEST(Generate, QuietKeysComeFromTheHistoryTable) {
    history_score[sq("g1")][sq("f3")].store(77, std::memory_order_relaxed);
    PositionPtr start(position_new());
    EXPECT_EQ(legal_texts(*start).substr(0, 4), "g1f3");
    history_score[sq("g1")][sq("f3")].store(0, std::memory_order_relaxed);
    EXPECT_EQ(legal_texts(*start).substr(0, 4), "a2a3");
}

TEST(Picker, OrdersByKeyAndKeepsGenerationOrderAmongEquals) {
    PositionPtr start(position_new());
    EXPECT_EQ(legal_texts(*start),
              "a2a3 b2b3 c2c3 d2d3 e2e3 f2f3 g2g3 h2h3 a2a4 b2b4 c2c4 d2d4 e2e4 f2f4 g2g4 h2h4 "
              "b1a3 b1c3 g1f3 g1h3");
    MoveList list;
    list.stage = 0;
    EXPECT_EQ(next_capture(*start, list), 0u);

    // Two pawns taken by a knight (equal keys, generation order), then a queen by a pawn.
    auto pos   = make_position("4k3/8/2p1p3/8/3N4/q7/1P6/4K3 w - - 0 1");
    list.stage = 0;
    std::vector<Move> captures;
    while (Move m = next_capture(*pos, list)) {
        captures.push_back(m);
        unmake_move(*pos);
    }
    EXPECT_EQ(texts(captures.data(), std::uint32_t(captures.size())), "b2a3 d4c6 d4e6");
}

TEST(Picker, IllegalMovesAreNeverReturned) {
    // A pinned knight; castling through an attacked f1; the king stepping into check.
    auto pos          = make_position("4k3/4r3/8/8/8/8/4N3/4K2R w K - 0 1");
    std::string legal = legal_texts(*pos);
    EXPECT_EQ(legal.find("e2"), std::string::npos) << legal;
    EXPECT_NE(legal.find("e1g1"), std::string::npos) << legal;
    auto through = make_position("4k3/8/8/8/8/8/5r2/4K2R w K - 0 1");
    legal        = legal_texts(*through);
    EXPECT_EQ(legal.find("e1g1"), std::string::npos) << legal;
    EXPECT_EQ(legal.find("e1f1"), std::string::npos) << legal;
    EXPECT_NE(legal.find("e1d1"), std::string::npos) << legal;
}

TEST(MoveText, AppliesReportsAndStops) {
    struct Case {
        const char* moves;
        int played;
        const char* history;
    };
    const Case cases[] = {
        {"e2e4 e7e5 g1f3", 3, "e2e4 e7e5 g1f3"},
        {"E2E4  E7E5\tG1F3\n", 3, "e2e4 e7e5 g1f3"},
        {"e2e5", 0, ""},
        {"", 0, ""},
        {"e2e4 e7e5 e1e3 g1f3", 2, "e2e4 e7e5"}, // stops at the bad move
        {"e2e4 e7e5\ng1f3", 2, "e2e4 e7e5"},     // the line ends the moves
        {"e2e4xx", 0, ""},
        {"null", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.moves);
        PositionPtr pos(position_new());
        EXPECT_EQ(apply_move_text(*pos, c.moves), c.played);
        std::vector<Move> history;
        for (int i = 0; i < pos->ply; i++)
            history.push_back(pos->history[i].move);
        EXPECT_EQ(texts(history.data(), std::uint32_t(history.size())), c.history);
    }
    auto promo = make_position("4k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(apply_move_text(*promo, "b7b8N"), 1);
    EXPECT_EQ(promo->board[sq("b8")], WHITE_KNIGHT);
}

// Chess960 castling is written as the king taking its own rook and read in that form, or as
// the king's two-square move when the king starts on the e-file; standard chess reads only its
// own form.
TEST(MoveText, Chess960CastlingAsTheKingTakingItsRook) {
    struct Case {
        const char* fen;
        bool chess960;
        const char* moves;
        const char* history; // as written back
    };
    const char* open_start = "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1";
    const Case cases[]     = {
            {open_start, true, "e1h1 e8a8", "e1h1 e8a8"},
            {open_start, true, "e1g1 e8c8", "e1h1 e8a8"}, // the two-square form
            {open_start, false, "e1g1 e8c8", "e1g1 e8c8"},
            {open_start, false, "e1h1", ""},
            {"1r2kr2/pppppppp/8/8/8/8/PPPPPPPP/1R2KR2 w FBfb - 0 1", true, "e1g1 e8c8 b1a1",
             "e1f1 e8b8 b1a1"},
            {"1r2kr2/pppppppp/8/8/8/8/PPPPPPPP/1R2KR2 w FBfb - 0 1", true, "E1F1 e8d8", "e1f1 e8d8"},
            {"rk5r/pppppppp/8/8/8/8/PPPPPPPP/R5KR w HAha - 0 1", true, "g1h1 b8d8", "g1h1"},
            {"2r1k2r/pppppppp/8/8/8/8/PPPPPPPP/2R2KR1 w GC - 0 1", true, "f1g1 h8g8", "f1g1 h8g8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " " + c.moves);
        auto pos = make_position(c.fen, c.chess960);
        apply_move_text(*pos, c.moves);
        std::vector<Move> history;
        for (int i = 0; i < pos->ply; i++)
            history.push_back(pos->history[i].move);
        EXPECT_EQ(texts(history.data(), std::uint32_t(history.size())), c.history);
        EXPECT_TRUE(fields_from_scratch(*pos));
    }
    // The FEN written back after the moves: Shredder-FEN rights, the clock since setup.
    auto pos = make_position("1r2kr2/pppppppp/8/8/8/8/PPPPPPPP/1R2KR2 w FBfb - 0 1", true);
    ASSERT_EQ(apply_move_text(*pos, "b1a1 b8a8 a1b1"), 3);
    char fen[FEN_SIZE];
    position_to_fen(*pos, fen);
    EXPECT_STREQ(fen, "r3kr2/pppppppp/8/8/8/8/PPPPPPPP/1R2KR2 b Ff - 3 2");
}

TEST(MoveText, GamesLongerThanTheHistoryStackKeepWorking) {
    // Knight shuffles between pawn moves: over 1200 plies, more than the stack holds.
    std::string game;
    const char* shuffle = "g1h3 g8h6 h3g1 h6g8 ";
    int expected        = 0;
    for (int file = 0; file < 6; file++)
        for (int step = 0; step < 2; step++) {
            for (int i = 0; i < 25; i++)
                game += shuffle, expected += 4;
            char white[] = "a2a3 ", black[] = "a7a6 ";
            white[0] = white[2] = black[0] = black[2] = char('a' + file);
            white[1] += char(step), white[3] += char(step);
            black[1] -= char(step), black[3] -= char(step);
            game += std::string(white) + black;
            expected += 2;
        }
    game += shuffle;
    expected += 4;
    PositionPtr pos(position_new());
    EXPECT_EQ(apply_move_text(*pos, game.c_str()), expected);
    EXPECT_GT(expected, HISTORY_SIZE);
    EXPECT_LE(pos->ply + MAX_PLY, HISTORY_SIZE);
    EXPECT_EQ(pos->static_moves, 4);
    EXPECT_EQ(repetition_count(*pos), 1);
    EXPECT_TRUE(fields_from_scratch(*pos));
    position_verify(*pos);
}

} // namespace
} // namespace orbelin
