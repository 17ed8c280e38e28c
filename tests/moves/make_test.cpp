// make_move and unmake_move on the cases that carry numbers: keys, en passant, castling
// rights, refused moves, promotions, the null move and the extension flag.
#include "move_checks.h"
#include "moves/generate.h"
#include "moves/make.h"
#include "moves/picker.h"

#include <gtest/gtest.h>
#include <string>

namespace orbelin {
namespace {

Move mv(int type, const char* from, const char* to) { return move_pack(type, sq(from), sq(to)); }

// Plays coordinate moves that must all be legal.
void play(Position& pos, const char* moves) {
    int expected = 0;
    for (const char* p = moves; *p; p++)
        if (*p != ' ' && (p == moves || p[-1] == ' ')) expected++;
    ASSERT_EQ(apply_move_text(pos, moves), expected) << moves;
}

TEST(Make, DoublePushFromTheStart) {
    PositionPtr pos(position_new());
    std::uint64_t key = pos->key;
    ASSERT_EQ(make_move(*pos, 28865), 1); // e2e4
    EXPECT_EQ(pos->ep_square, 0);         // no black pawn on d4 or f4
    EXPECT_EQ(pos->static_moves, 0);
    EXPECT_EQ(pos->side, BLACK);
    EXPECT_EQ(pos->ply, 1);
    EXPECT_EQ(pos->key, key ^ zobrist_piece[WHITE_PAWN][sq("e2")] ^
                            zobrist_piece[WHITE_PAWN][sq("e4")] ^ zobrist_side);
    EXPECT_EQ(pos->history[0].key, key);
    EXPECT_EQ(pos->history[0].move, 28865u);
}

TEST(Make, EnPassantSquareOnlyBesideAnEnemyPawn) {
    PositionPtr pos(position_new());
    play(*pos, "e2e4 d7d5 e4e5 f7f5");
    EXPECT_EQ(pos->ep_square, 45); // f6
    EXPECT_EQ(pos->key, position_compute_key(*pos));
    std::uint64_t key = pos->key;
    play(*pos, "g1f3");
    EXPECT_EQ(pos->ep_square, 0);
    EXPECT_EQ(pos->key, key ^ zobrist_ep[5] ^ zobrist_piece[WHITE_KNIGHT][sq("g1")] ^
                            zobrist_piece[WHITE_KNIGHT][sq("f3")] ^ zobrist_side);

    auto a_pawn = make_position("4k3/8/8/8/1p6/8/P7/4K3 w - - 0 1");
    ASSERT_EQ(make_move(*a_pawn, mv(MOVE_QUIET, "a2", "a4")), 1);
    EXPECT_EQ(a_pawn->ep_square, 16); // a3
    EXPECT_TRUE(fields_from_scratch(*a_pawn));
}

TEST(Make, RefusedMovesLeaveEverythingAsItWas) {
    struct Case {
        const char* fen;
        Move move;
        bool chess960 = false;
    };
    const Case cases[] = {
        {"4k3/8/8/3pP3/8/8/5r2/4K2R w K d6 0 1", MOVE_CASTLE_WK}, // f1 attacked, ep square set
        {"4k3/8/8/8/8/8/8/R3K2r w Q - 0 1", MOVE_CASTLE_WQ},      // out of check
        {"4k3/8/8/8/8/8/6r1/4K2R w K - 0 1", MOVE_CASTLE_WK},     // into attack on g1
        {"r3k3/8/8/8/8/8/8/3RK3 b q - 0 1", MOVE_CASTLE_BQ},      // d8 attacked
        {"4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1", mv(MOVE_QUIET, "e2", "c3")},  // pinned
        {"4k3/8/8/3pP3/8/8/8/r3K3 w - d6 0 1", mv(MOVE_QUIET, "e1", "d1")}, // onto the rook's rank
        {"4k3/8/8/K2pP2r/8/8/8/8 w - d6 0 1",
         mv(MOVE_EN_PASSANT, "e5", "d6")}, // both pawns leave the rank
        // Chess960: the rook on b1 shields c1 from a1 until it leaves for d1.
        {"4k3/8/8/8/8/8/8/qR1K4 w B - 0 1", mv(MOVE_CASTLE, "d1", "b1"), true},
        {"4k3/8/8/8/8/8/8/rR2K3 w B - 0 1", mv(MOVE_CASTLE, "e1", "b1"), true},
        {"3rk3/8/8/8/8/8/8/1R2K3 w B - 0 1", mv(MOVE_CASTLE, "e1", "b1"), true}, // d1 attacked
        {"3rk3/ppp1pppp/8/8/8/8/PPP1PPPP/3RK3 w D - 0 1", mv(MOVE_CASTLE, "e1", "d1"),
         true},                                                                  // across its rook
        {"4k3/8/8/8/8/8/8/1R2K2r w B - 0 1", mv(MOVE_CASTLE, "e1", "b1"), true}, // out of check
        {"6k1/8/8/8/8/8/8/r5KR w H - 0 1", mv(MOVE_CASTLE, "g1", "h1"), true}, // a king that stays
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        auto pos = make_position(c.fen, c.chess960);
        EXPECT_TRUE(move_is_pseudo_legal(*pos, c.move));
        const Head before = head_of(*pos);
        EXPECT_EQ(make_move(*pos, c.move), 0);
        EXPECT_TRUE(same_head(before, head_of(*pos)));
    }
}

TEST(Make, CastlingRightsLostWithExactlyTheirKeys) {
    struct Case {
        const char* fen;
        Move move;
        int castling;
        bool chess960 = false;
    };
    const Case cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", mv(MOVE_QUIET, "e1", "e2"), 12},
        {"4k3/8/8/8/8/8/8/4K2R w K - 0 1", mv(MOVE_QUIET, "e1", "d1"), 0},
        {"r3k2r/8/8/8/8/8/1B6/R3K2R w KQkq - 0 1", mv(MOVE_CAPTURE, "b2", "h8"), 11},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", mv(MOVE_CAPTURE, "h1", "h8"), 10},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", mv(MOVE_QUIET, "a1", "b1"), 13},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", MOVE_CASTLE_BK, 3},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", MOVE_CASTLE_WQ, 12},
        {"r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq - 0 1", mv(MOVE_PROMO_QUEEN, "b7", "a8"), 7},
        // Chess960: rights belong to their rook, wherever it stands.
        {"1r2k1r1/8/8/8/8/8/8/1R2K1R1 w GBgb - 0 1", mv(MOVE_QUIET, "e1", "e2"), 12, true},
        {"1r2k1r1/8/8/8/8/8/8/1R2K1R1 w GBgb - 0 1", mv(MOVE_QUIET, "b1", "b2"), 13, true},
        {"1r2k1r1/8/8/8/8/8/8/1R2K1R1 w GBgb - 0 1", mv(MOVE_CAPTURE, "g1", "g8"), 10, true},
        {"4k1rr/8/8/8/8/8/8/4K1RR w Gg - 0 1", mv(MOVE_QUIET, "h1", "h2"), 5, true}, // not its rook
        {"4k1rr/8/8/8/8/8/8/4K1RR w Gg - 0 1", mv(MOVE_QUIET, "g1", "g2"), 4, true},
        {"rr3k2/8/8/8/8/8/7B/4K3 w b - 0 1", mv(MOVE_CAPTURE, "h2", "b8"), 0, true},
        {"rr3k2/8/8/8/8/8/8/R3K3 w b - 0 1", mv(MOVE_CAPTURE, "a1", "a8"), 8, true},
        {"1r2k1r1/8/8/8/8/8/8/1R2K1R1 b GBgb - 0 1", mv(MOVE_CASTLE, "e8", "b8"), 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        auto pos = make_position(c.fen, c.chess960);
        ASSERT_EQ(make_move(*pos, c.move), 1);
        EXPECT_EQ(pos->castling, c.castling);
        EXPECT_EQ(pos->static_moves, (move_type(c.move) == MOVE_QUIET) ? 1 : 0);
        EXPECT_TRUE(fields_from_scratch(*pos));
        position_verify(*pos);
    }
}

TEST(Make, CastlingMovesKingAndRook) {
    auto pos = make_position("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    ASSERT_EQ(make_move(*pos, MOVE_CASTLE_WK), 1);
    EXPECT_EQ(pos->board[sq("g1")], WHITE_KING);
    EXPECT_EQ(pos->board[sq("f1")], WHITE_ROOK);
    EXPECT_EQ(pos->board[sq("h1")], EMPTY);
    ASSERT_EQ(make_move(*pos, MOVE_CASTLE_BQ), 1);
    EXPECT_EQ(pos->board[sq("c8")], BLACK_KING);
    EXPECT_EQ(pos->board[sq("d8")], BLACK_ROOK);
    EXPECT_EQ(pos->castling, 0);
    EXPECT_TRUE(fields_from_scratch(*pos));
    position_verify(*pos);
}

// Chess960 castling from king and rook squares of every kind: the king ends on g1 or c1 and the
// rook on f1 or d1 (g8 c8, f8 d8) also when one of them is there already or stands on the
// other's target, and unmake puts both back.
TEST(Make, Chess960CastlingMovesKingAndRook) {
    struct Case {
        const char* fen;
        const char* move;
        const char* king;
        const char* rook;
    };
    const Case cases[] = {
        {"rk5r/pppppppp/8/8/8/8/PPPPPPPP/R5KR w HAha - 0 1", "g1h1", "g1", "f1"}, // king stays
        {"rk5r/pppppppp/8/8/8/8/PPPPPPPP/R5KR w HAha - 0 1", "g1a1", "c1", "d1"},
        {"rk5r/pppppppp/8/8/8/8/PPPPPPPP/R5KR b HAha - 0 1", "b8a8", "c8", "d8"},
        {"rk5r/pppppppp/8/8/8/8/PPPPPPPP/R5KR b HAha - 0 1", "b8h8", "g8", "f8"},
        {"4k1r1/pppppppp/8/8/8/8/PPPPPPPP/4K1R1 w Gg - 0 1", "e1g1", "g1", "f1"}, // onto g1
        {"3rk3/pppppppp/8/8/8/8/PPPPPPPP/3RK3 w Dd - 0 1", "e1d1", "c1", "d1"},   // rook stays
        {"5kr1/pppppppp/8/8/8/8/PPPPPPPP/5KR1 w Gg - 0 1", "f1g1", "g1", "f1"},   // swapped
        {"2rk4/pppppppp/8/8/8/8/PPPPPPPP/2RK4 b Cc - 0 1", "d8c8", "c8", "d8"},
        {"5rk1/8/8/8/8/8/8/6KR w H - 0 1", "g1h1", "g1", "f1"}, // the rook may land attacked
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " " + c.move);
        auto pos          = make_position(c.fen, true);
        const int us      = pos->side;
        const Head before = head_of(*pos);
        const int rooks   = popcount(pos->bitboards[WHITE_ROOK + us]);
        const Move castle = mv(MOVE_CASTLE, c.move, c.move + 2);
        ASSERT_TRUE(move_is_pseudo_legal(*pos, castle));
        ASSERT_EQ(make_move(*pos, castle), 1);
        EXPECT_EQ(pos->board[sq(c.king)], WHITE_KING + us);
        EXPECT_EQ(pos->board[sq(c.rook)], WHITE_ROOK + us);
        EXPECT_EQ(popcount(pos->bitboards[WHITE_ROOK + us]), rooks);
        EXPECT_EQ(pos->castling & (us == WHITE ? 3 : 12), 0);
        EXPECT_EQ(pos->static_moves, 0);
        EXPECT_TRUE(fields_from_scratch(*pos));
        position_verify(*pos);
        unmake_move(*pos);
        EXPECT_TRUE(same_head(before, head_of(*pos)));
    }
}

TEST(Make, PromotionsCountMaterialPhaseAndExtension) {
    auto quiet = make_position("8/4P3/8/k7/8/8/8/4K3 w - - 0 1");
    ASSERT_EQ(make_move(*quiet, mv(MOVE_PROMO_QUEEN, "e7", "e8")), 1);
    EXPECT_EQ(quiet->material[WHITE], 975);
    EXPECT_EQ(quiet->phase, 4);
    EXPECT_EQ(quiet->extend, 0);
    EXPECT_EQ(quiet->captured, EMPTY);

    auto capture = make_position("5r2/4P3/8/k7/8/8/8/4K3 w - - 0 1");
    ASSERT_EQ(make_move(*capture, mv(MOVE_PROMO_QUEEN, "e7", "f8")), 1);
    EXPECT_EQ(capture->material[WHITE], 975);
    EXPECT_EQ(capture->material[BLACK], 0);
    EXPECT_EQ(capture->phase, 4); // +4 for the queen, -2 for the rook
    EXPECT_EQ(capture->captured, BLACK_ROOK);
    EXPECT_EQ(capture->extend, 1);
    EXPECT_TRUE(fields_from_scratch(*capture));
    unmake_move(*capture);
    EXPECT_EQ(capture->board[sq("e7")], WHITE_PAWN);
    EXPECT_EQ(capture->board[sq("f8")], BLACK_ROOK);
    position_verify(*capture);

    auto checking = make_position("8/4P3/8/8/8/8/k7/4K3 w - - 0 1");
    ASSERT_EQ(make_move(*checking, mv(MOVE_PROMO_QUEEN, "e7", "e8")), 1);
    EXPECT_EQ(checking->extend, 0); // a2 is not on the queen's lines
    auto underpromotion = make_position("8/4P3/8/8/8/8/8/k3K3 w - - 0 1");
    ASSERT_EQ(make_move(*underpromotion, mv(MOVE_PROMO_ROOK, "e7", "e8")), 1);
    EXPECT_EQ(underpromotion->in_check, 0);
    EXPECT_EQ(underpromotion->phase, 2);
}

TEST(Make, EnPassantCaptureAndItsUndo) {
    auto pos          = make_position("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    const Head before = head_of(*pos);
    ASSERT_EQ(make_move(*pos, mv(MOVE_EN_PASSANT, "e5", "d6")), 1);
    EXPECT_EQ(pos->board[sq("d5")], EMPTY);
    EXPECT_EQ(pos->board[sq("d6")], WHITE_PAWN);
    EXPECT_EQ(pos->captured, EMPTY);
    EXPECT_EQ(pos->material[BLACK], 0);
    EXPECT_TRUE(fields_from_scratch(*pos));
    unmake_move(*pos);
    EXPECT_TRUE(same_head(before, head_of(*pos)));
}

TEST(Make, NullMove) {
    auto pos          = make_position("4k3/8/8/3pP3/8/8/8/4K3 w - d6 5 30");
    pos->static_moves = 7;
    const Head before = head_of(*pos);
    std::uint64_t key = pos->key;
    ASSERT_EQ(make_move(*pos, MOVE_NULL), 1);
    EXPECT_EQ(pos->side, BLACK);
    EXPECT_EQ(pos->ep_square, 0);
    EXPECT_EQ(pos->key, key ^ zobrist_side ^ zobrist_ep[3]);
    EXPECT_EQ(pos->static_moves, 0);
    EXPECT_EQ(pos->ply, 1);
    unmake_move(*pos);
    EXPECT_TRUE(same_head(before, head_of(*pos)));

    auto checked = make_position("4k3/8/8/8/8/8/8/4RK2 b - - 0 1");
    ASSERT_EQ(make_move(*checked, MOVE_NULL), 1);
    EXPECT_EQ(checked->in_check, 1); // left as it was
}

TEST(Make, CheckAndSeventhRankSetTheExtension) {
    auto rook = make_position("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    ASSERT_EQ(make_move(*rook, mv(MOVE_QUIET, "a1", "a8")), 1);
    EXPECT_EQ(rook->in_check, 1);
    EXPECT_EQ(rook->extend, 1);
    auto pawn = make_position("4k3/8/P7/8/8/8/p7/4K3 w - - 0 1");
    ASSERT_EQ(make_move(*pawn, mv(MOVE_QUIET, "a6", "a7")), 1);
    EXPECT_EQ(pawn->extend, 1);
    ASSERT_EQ(make_move(*pawn, mv(MOVE_QUIET, "e8", "d7")), 1);
    EXPECT_EQ(pawn->extend, 0);
}

TEST(Make, RepetitionCountThroughRealMoves) {
    PositionPtr pos(position_new());
    play(*pos, "g1f3 g8f6 f3g1 f6g8");
    EXPECT_EQ(pos->static_moves, 4);
    EXPECT_EQ(repetition_count(*pos), 1);
    play(*pos, "g1f3 g8f6 f3g1 f6g8");
    EXPECT_EQ(repetition_count(*pos), 2);
    play(*pos, "e2e4");
    EXPECT_EQ(repetition_count(*pos), 0);
}

TEST(Make, SequenceUnmadeInReverseReturnsToTheStart) {
    PositionPtr pos(position_new());
    PositionPtr start(position_new());
    play(*pos, "e2e4 d7d5 e4d5 g8f6 f1b5 c7c6 d5c6 d8d2 b1d2 b7c6 g1f3 c6b5 e1g1");
    EXPECT_EQ(pos->ply, 13);
    while (pos->ply > 0)
        unmake_move(*pos);
    EXPECT_TRUE(same_head(head_of(*start), head_of(*pos)));
}

} // namespace
} // namespace orbelin
