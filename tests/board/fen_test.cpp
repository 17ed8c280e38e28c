// FEN reading and its refusals, square and move text, material gain, the dump and the check.
#include "board/attacks.h"
#include "board/keys.h"
#include "board/tables.h"
#include "test_util.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace orbelin {
namespace {

// Sets the FEN on a start position; answers whether it was taken. A refused FEN must leave
// the position exactly as it was.
bool fen_accepted(const char* fen, bool chess960 = false) {
    PositionPtr pos(position_new());
    PositionPtr before(position_new());
    bool ok = position_set_fen(*pos, fen, chess960);
    if (!ok) {
        EXPECT_EQ(std::memcmp(pos.get(), before.get(), sizeof(Position)), 0) << fen;
    }
    return ok;
}

TEST(Fen, ReadsFieldsEnPassantAndIgnoresClocks) {
    auto pos = make_position("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 45 12");
    EXPECT_EQ(pos->side, BLACK);
    EXPECT_EQ(pos->ep_square, 20);
    EXPECT_EQ(pos->castling, 15);
    EXPECT_EQ(pos->static_moves, 0);
    EXPECT_EQ(pos->ply, 0);
    EXPECT_EQ(pos->board[sq("e4")], WHITE_PAWN);
    EXPECT_EQ(pos->board[sq("e2")], EMPTY);
    auto plain = make_position("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(pos->key, plain->key ^ zobrist_side ^ zobrist_ep[4]);
    EXPECT_EQ(pos->key, position_compute_key(*pos));
    position_verify(*pos);
}

TEST(Fen, SetsCheckFlagAndAcceptsMissingFields) {
    auto pos = make_position("4k3/8/8/8/8/8/8/4R1K1 b");
    EXPECT_EQ(pos->in_check, 1);
    EXPECT_EQ(pos->castling, 0);
    EXPECT_EQ(pos->ep_square, 0);
    auto tabs = make_position("\t 4k3/8/8/8/8/8/8/4K3 \t w \t - \t -");
    EXPECT_EQ(tabs->in_check, 0);
    EXPECT_EQ(tabs->key, position_compute_key(*tabs));
}

const char* const BAD_FENS[] = {
    "",                                       // nothing at all
    "4k3/8/8/8/8/8/8/8 w - - 0 1",            // no white king
    "4k3/8/8/8/8/8/8/4KK2 w - - 0 1",         // two white kings
    "4k3/8/8/8/8/8/8/4K2P w - - 0 1",         // pawn on the first rank
    "3Pk3/8/8/8/8/8/8/4K3 w - - 0 1",         // pawn on the last rank
    "4k3/8/8/8/8/8/8/4K2Z w - - 0 1",         // not a piece letter
    "4k3/8/8/8/8/8/8/4K2x w - - 0 1",         // 'x' is no piece either
    "4k3/8/8/8/8/8/8/4K4 w - - 0 1",          // nine squares on a rank
    "4k3/8/8/8/8/8/8/4K3p w - - 0 1",         // a piece past the h-file
    "4k3/8/8/8/8/8/8/4K3/8 w - - 0 1",        // nine ranks
    "4k3/8/8/8 w - - 0 1",                    // four ranks
    "4k3/8/8/8/8/8/8/4R1K1 w - - 0 1",        // the side not to move is in check
    "QQQQQQQQ/QQ2k3/8/8/8/8/8/4K3 w - - 0 1", // more queens than promotions allow
    "4k3/8/8/8/8/8/8/4K3 w - z9 0 1",         // en-passant text that is no square
};

TEST(Fen, RejectsImpossibleSetupsAndKeepsThePosition) {
    for (const char* fen : BAD_FENS) {
        SCOPED_TRACE(fen);
        EXPECT_FALSE(fen_accepted(fen));
    }
}

TEST(Fen, DropsRightsAndEnPassantThatCannotBe) {
    struct Case {
        const char* fen;
        int castling, ep_square;
    };
    const Case cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", 15, 0},
        {"4k3/8/8/8/8/8/8/4K3 w KQkq - 0 1", 0, 0},
        {"r3k3/8/8/8/8/8/8/4K2R w KQkq - 0 1", CASTLE_WK | CASTLE_BQ, 0},
        {"r3k2r/8/8/8/8/8/8/R2K3R w KQkq - 0 1", CASTLE_BK | CASTLE_BQ, 0},
        {"4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1", 0, sq("e3")},  // kept though no pawn can take
        {"4k3/8/8/8/4P3/8/8/4K3 w - e3 0 1", 0, 0},         // wrong rank for the side
        {"4k3/8/8/8/8/8/8/4K3 b - e3 0 1", 0, 0},           // no pawn in front of it
        {"4k3/8/8/8/4P3/4N3/8/4K3 b - e3 0 1", 0, 0},       // the square is occupied
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", 0, sq("d6")}, // a real chance to take
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        auto pos = make_position(c.fen);
        EXPECT_EQ(pos->castling, c.castling);
        EXPECT_EQ(pos->ep_square, c.ep_square);
        EXPECT_EQ(pos->key, position_compute_key(*pos));
    }
}

// Chess960 castling fields: Shredder-FEN file letters and X-FEN's KQkq for the outermost rook,
// in any order and mix; each right is the king taking that rook.
TEST(Fen, Chess960CastlingFields) {
    struct Case {
        const char* fen;
        int castling;
        const char* moves; // castle_move of each right held, in right order
    };
    const Case cases[] = {
        {"rk5r/pppppppp/8/8/8/8/PPPPPPPP/R5KR w HAha - 0 1", 15, "g1h1 g1a1 b8h8 b8a8"},
        {"rk5r/pppppppp/8/8/8/8/PPPPPPPP/R5KR w KQkq - 0 1", 15, "g1h1 g1a1 b8h8 b8a8"},
        {"rk5r/pppppppp/8/8/8/8/PPPPPPPP/R5KR w qkQK - 0 1", 15, "g1h1 g1a1 b8h8 b8a8"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 15, "e1h1 e1a1 e8h8 e8a8"},
        {"4k1rr/8/8/8/8/8/8/4K1RR w Gk - 0 1", 5, "e1g1 e8h8"}, // an inner rook by its file
        {"1r2k1r1/8/8/8/8/8/8/1R2K1R1 w KKG - 0 1", 1, "e1g1"}, // repeated, same rook
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", 0, ""},
        {"4k3/8/8/8/8/8/4K3/8 w - - 0 1", 0, ""}, // no rights: the king may stand anywhere
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        auto pos = make_position(c.fen, true);
        EXPECT_EQ(pos->castling, c.castling);
        EXPECT_EQ(pos->chess960, 1);
        std::string moves;
        for (int i = 0; i < 4; i++)
            if (pos->castling >> i & 1) {
                char text[6];
                move_to_text(pos->castle_move[i], text);
                if (!moves.empty()) moves += ' ';
                moves += text;
            }
        EXPECT_EQ(moves, c.moves);
        EXPECT_EQ(pos->key, position_compute_key(*pos));
    }
    // The two forms give the same position to the byte.
    auto shredder = make_position("rk5r/pppppppp/8/8/8/8/PPPPPPPP/R5KR w HAha - 0 1", true);
    auto xfen     = make_position("rk5r/pppppppp/8/8/8/8/PPPPPPPP/R5KR w KQkq - 0 1", true);
    EXPECT_EQ(std::memcmp(shredder.get(), xfen.get(), sizeof(Position)), 0);
}

const char* const BAD_CHESS960_FENS[] = {
    "4k3/8/8/8/8/8/8/4K3 w K - 0 1",         // no rook on the king side
    "4k3/8/8/8/8/8/8/R3K3 w K - 0 1",        // its only rook is on the queen side
    "4k3/8/8/8/8/8/8/4K2R w G - 0 1",        // no rook on g1
    "4k3/8/8/8/8/8/8/4K2R w E - 0 1",        // the king's own file
    "4k3/8/8/8/8/8/4K3/7R w H - 0 1",        // the king is off its first rank
    "4k3/8/8/8/8/8/8/4KRR1 w FG - 0 1",      // two castling rooks on one wing
    "rr2k3/8/8/8/8/8/8/RR2K3 w BQ - 0 1",    // B and Q name two rooks of one wing
    "4k3/8/8/8/8/8/8/4K2R w Hx - 0 1",       // not a castling letter
    "4k3/8/8/8/8/8/8/4K2R w Hh - 0 1",       // Black has no rook
    "4k3/7R/8/8/8/8/8/4K3 w H - 0 1",        // the rook is off its first rank
    "r3k2r/8/8/8/8/8/8/R3K2R w KQkq1 - 0 1", // a digit in the field
};

TEST(Fen, Chess960RefusesRightsWithoutTheirKingOrRook) {
    for (const char* fen : BAD_CHESS960_FENS) {
        SCOPED_TRACE(fen);
        EXPECT_FALSE(fen_accepted(fen, true));
    }
    // In standard chess the same fields lose the rights that cannot be, or are not read.
    EXPECT_TRUE(fen_accepted(BAD_CHESS960_FENS[0]));
    EXPECT_TRUE(fen_accepted(BAD_CHESS960_FENS[5]));
}

// Every eighth start position and every position of play of the Chess960 reference is written
// back in Shredder-FEN and reads back as the same position; standard chess writes KQkq.
TEST(Fen, WrittenBackInShredderFenInChess960) {
    const std::vector<PerftReference> reference = chess960_reference();
    for (std::size_t i = 0; i < reference.size(); i += i < CHESS960_REFERENCE_STARTS ? 8 : 1) {
        const PerftReference& ref = reference[i];
        SCOPED_TRACE(ref.fen);
        auto pos = make_position(ref.fen.c_str(), true);
        char fen[FEN_SIZE];
        position_to_fen(*pos, fen);
        auto again = make_position(fen, true);
        EXPECT_EQ(std::memcmp(pos.get(), again.get(), sizeof(Position)), 0) << fen;
        const char* rights = std::strchr(fen, ' ') + 3; // the castling field
        EXPECT_GE(std::strcspn(rights, "KQkq"), std::strcspn(rights, " ")) << fen;
    }
    struct Case {
        const char* fen;
        bool chess960;
        const char* written;
    };
    const Case cases[] = {
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", false,
         "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"},
        {"4k3/8/8/3pP3/8/8/8/R3K2R w KQ d6 0 1", false, "4k3/8/8/3pP3/8/8/8/R3K2R w KQ d6 0 1"},
        {"4k3/8/8/3pP3/8/8/8/R3K2R w KQ d6 0 1", true, "4k3/8/8/3pP3/8/8/8/R3K2R w HA d6 0 1"},
        {"1r2k1r1/8/8/8/8/8/8/1R2K1R1 b kq - 0 1", true, "1r2k1r1/8/8/8/8/8/8/1R2K1R1 b gb - 0 1"},
        {"8/8/8/8/8/2k5/8/K7 w - - 0 1", true, "8/8/8/8/8/2k5/8/K7 w - - 0 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        auto pos = make_position(c.fen, c.chess960);
        char fen[FEN_SIZE];
        position_to_fen(*pos, fen);
        EXPECT_STREQ(fen, c.written);
    }
}

TEST(Text, SquaresAndMoves) {
    char buffer[6];
    square_to_text(sq("h8"), buffer);
    EXPECT_STREQ(buffer, "h8");
    EXPECT_EQ(text_to_square("e4"), 28);
    EXPECT_EQ(text_to_square("a1"), 0);
    EXPECT_EQ(text_to_square("i1"), -1);
    EXPECT_EQ(text_to_square("a9"), -1);
    EXPECT_EQ(text_to_square(""), -1);
    EXPECT_EQ(letter_to_piece('q'), BLACK_QUEEN);
    EXPECT_EQ(letter_to_piece('K'), WHITE_KING);
    EXPECT_EQ(letter_to_piece('X'), -1);

    struct Case {
        Move move;
        const char* text;
    };
    const Case cases[] = {
        {28865, "e2e4"},
        {move_pack(MOVE_PROMO_KNIGHT, sq("e7"), sq("e8")), "e7e8n"},
        {move_pack(MOVE_PROMO_QUEEN, sq("b2"), sq("a1")), "b2a1q"},
        {move_pack(MOVE_PROMO_ROOK, sq("a7"), sq("b8")), "a7b8r"},
        {move_pack(MOVE_PROMO_BISHOP, sq("h2"), sq("h1")), "h2h1b"},
        {move_pack(MOVE_EN_PASSANT, sq("e5"), sq("d6")), "e5d6"},
        {MOVE_CASTLE_WK, "e1g1"},
        {MOVE_CASTLE_BQ, "e8c8"},
        {MOVE_NULL, "null"},
    };
    for (const Case& c : cases) {
        move_to_text(c.move, buffer);
        EXPECT_STREQ(buffer, c.text);
    }
}

TEST(Text, MoveGainByType) {
    auto pos = make_position("r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(move_gain(*pos, move_pack(MOVE_QUIET, sq("e1"), sq("e2"))), 0);
    EXPECT_EQ(move_gain(*pos, MOVE_CASTLE_WK), 0);
    EXPECT_EQ(move_gain(*pos, move_pack(MOVE_CAPTURE, sq("b7"), sq("a8"))), 500);
    EXPECT_EQ(move_gain(*pos, move_pack(MOVE_EN_PASSANT, sq("e5"), sq("d6"))), 90);
    EXPECT_EQ(move_gain(*pos, move_pack(MOVE_PROMO_KNIGHT, sq("b7"), sq("b8"))), 210);
    EXPECT_EQ(move_gain(*pos, move_pack(MOVE_PROMO_BISHOP, sq("b7"), sq("b8"))), 235);
    EXPECT_EQ(move_gain(*pos, move_pack(MOVE_PROMO_ROOK, sq("b7"), sq("b8"))), 410);
    // A capturing promotion counts only the promotion.
    EXPECT_EQ(move_gain(*pos, move_pack(MOVE_PROMO_QUEEN, sq("b7"), sq("a8"))), 885);
}

// The dump of the start position; the key line is filled in by the caller.
std::string start_dump(std::uint64_t key) {
    return "rnbqkbnr\npppppppp\n# # # # \n # # # #\n# # # # \n # # # #\nPPPPPPPP\nRNBQKBNR\n\n"
           "Player: White\nPly:0\nEn passant:0\nCapture:X\nCastling:15\nCheck:0\n"
           "Static moves:0\nRepeat:0\nMaterial:0\nPhase:24\nPVT(opening/endgame):0/0\nKey:" +
           std::to_string(key) + "\nHistory: \n";
}

TEST(Dump, StartPosition) {
    PositionPtr pos(position_new());
    testing::internal::CaptureStdout();
    position_print(*pos);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), start_dump(pos->key));
}

TEST(Dump, BlackToMoveWithEnPassantAndCheck) {
    auto pos = make_position("4k3/8/8/1B6/3Pp3/8/8/R3K3 b Q d3 0 1");
    testing::internal::CaptureStdout();
    position_print(*pos);
    std::string expected =
        "# # k # \n # # # #\n# # # # \n B # # #\n# #Pp # \n # # # #\n# # # # \nR# #K# #\n\n"
        "Player: Black\nPly:0\nEn passant:19\nCapture:X\nCastling:2\nCheck:1\n"
        "Static moves:0\nRepeat:0\nMaterial:825\nPhase:3\nPVT(opening/endgame):" +
        std::to_string(pos->pst_opening) + "/" + std::to_string(pos->pst_endgame) +
        "\nKey:" + std::to_string(pos->key) + "\nHistory: \n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
}

// In Chess960 the dump shows the rights as Shredder-FEN letters and the FEN written back; the
// rest is as in standard chess.
TEST(Dump, Chess960ShowsRightsAsRookFiles) {
    const char* fen = "1r2k1r1/pppppppp/8/8/8/8/PPPPPPPP/1R2K1R1 w KBg - 0 1";
    auto standard   = make_position("1r2k1r1/pppppppp/8/8/8/8/PPPPPPPP/1R2K1R1 w - - 0 1");
    auto pos        = make_position(fen, true);
    testing::internal::CaptureStdout();
    position_print(*standard);
    std::string expected = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    position_print(*pos);
    std::string dump = testing::internal::GetCapturedStdout();
    std::string key  = "Key:" + std::to_string(standard->key);
    expected.replace(expected.find("Castling:0\n"), 11,
                     "Castling:GBg\nFEN:1r2k1r1/pppppppp/8/8/8/8/PPPPPPPP/1R2K1R1 w GBg - 0 1\n");
    expected.replace(expected.find(key), key.size(), "Key:" + std::to_string(pos->key));
    EXPECT_EQ(dump, expected);
}

TEST(VerifyDeathTest, CatchesDamage) {
    struct Case {
        void (*damage)(Position&);
        const char* message;
    };
    const Case cases[] = {
        {[](Position& p) { p.material[WHITE] += 1; }, "1\\. Material value is wrong \\(0\\)"},
        {[](Position& p) { p.bitboards[WHITE_PAWN] ^= bit(12), p.material[WHITE] -= 90; },
         "8\\. Bitboard is wrong \\(piece=P,square=12\\)"},
        {[](Position& p) { p.bitboards[BLACK_KNIGHT] ^= bit(20), p.material[BLACK] += 300; },
         "2\\. Bitboard is wrong \\(piece=n,square=20\\)"},
        {[](Position& p) { p.bitboards[L45] ^= bit(l45_map[30]); },
         "4\\. Rotated bitboard L45 is wrong \\(piece=X,square=30\\)"},
        {[](Position& p) { p.bitboards[R45] ^= bit(r45_map[4]); },
         "11\\. Rotated bitboard R45 is wrong \\(piece=K,square=4\\)"},
        {[](Position& p) { p.bitboards[OCC_BLACK] ^= bit(0); },
         "7\\. Bitboard is wrong \\(piece=X,square=0\\)"},
    };
    for (const Case& c : cases) {
        PositionPtr pos(position_new());
        c.damage(*pos);
        EXPECT_DEATH(position_verify(*pos), c.message);
    }
}

} // namespace
} // namespace orbelin
