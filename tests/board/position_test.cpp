// The position record, its start position, the hash-key scheme and the piece-square table.
#include "board/keys.h"
#include "board/tables.h"
#include "eval/pst.h"
#include "test_util.h"

#include <cstring>
#include <gtest/gtest.h>

namespace orbelin {
namespace {

constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

TEST(Position, StartPositionFields) {
    PositionPtr pos(position_new());
    EXPECT_EQ(pos->material[WHITE], 3945);
    EXPECT_EQ(pos->material[BLACK], 3945);
    EXPECT_EQ(pos->phase, 24);
    EXPECT_EQ(pos->castling, 15);
    EXPECT_EQ(pos->ep_square, 0);
    EXPECT_EQ(pos->in_check, 0);
    EXPECT_EQ(pos->pst_opening, 0);
    EXPECT_EQ(pos->pst_endgame, 0);
    EXPECT_EQ(pos->side, WHITE);
    EXPECT_EQ(pos->board[sq("e1")], WHITE_KING);
    EXPECT_EQ(pos->board[sq("d8")], BLACK_QUEEN);
    EXPECT_EQ(pos->bitboards[OCC_WHITE], 0xFFFFULL);
    EXPECT_EQ(pos->bitboards[OCC_BLACK], 0xFFFFULL << 48);
    position_verify(*pos);
}

TEST(Keys, StartKeyIsItsPieceAndCastlingKeys) {
    PositionPtr pos(position_new());
    const int back[8] = {WHITE_ROOK, WHITE_KNIGHT, WHITE_BISHOP, WHITE_QUEEN,
                         WHITE_KING, WHITE_BISHOP, WHITE_KNIGHT, WHITE_ROOK};
    std::uint64_t key =
        zobrist_castle[0] ^ zobrist_castle[1] ^ zobrist_castle[2] ^ zobrist_castle[3];
    for (int f = 0; f < 8; f++)
        key ^= zobrist_piece[back[f]][f] ^ zobrist_piece[WHITE_PAWN][8 + f] ^
               zobrist_piece[BLACK_PAWN][48 + f] ^ zobrist_piece[back[f] + 1][56 + f];
    EXPECT_EQ(pos->key, key);
    EXPECT_EQ(position_compute_key(*pos), key);
}

TEST(Keys, DrawnFromSeedZeroInDocumentedOrder) {
    GRand* rng = g_rand_new_with_seed(0);
    auto next  = [rng] {
        std::uint64_t low = g_rand_int(rng);
        return low | std::uint64_t(g_rand_int(rng)) << 32;
    };
    EXPECT_EQ(zobrist_piece[0][0], next());
    EXPECT_EQ(zobrist_piece[0][1], next());
    for (int i = 2; i < 14 * 64; i++)
        next();
    for (int f = 0; f < 8; f++)
        EXPECT_EQ(zobrist_ep[f], next());
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(zobrist_castle[i], next());
    EXPECT_EQ(zobrist_side, next());
    g_rand_free(rng);
}

TEST(Keys, FenAndStartBuildTheSamePositionToTheByte) {
    PositionPtr from_start(position_new());
    PositionPtr from_fen = make_position(START_FEN);
    EXPECT_EQ(std::memcmp(from_start.get(), from_fen.get(), sizeof(Position)), 0);
}

TEST(Position, ClearZeroesEverythingIncludingHistory) {
    PositionPtr pos(position_new());
    pos->history[7].key = 42;
    pos->ply            = 8;
    position_clear(*pos);
    static const Position zero{};
    EXPECT_EQ(std::memcmp(pos.get(), &zero, sizeof(Position)), 0);
}

TEST(Position, PieceCodeColourAndKind) {
    for (int code = WHITE_PAWN; code <= BLACK_KING; code++) {
        EXPECT_EQ((code ^ 1) & ~1, code & ~1);
        EXPECT_NE((code ^ 1) & 1, code & 1);
        EXPECT_EQ(PIECE_LETTERS[code ^ 1],
                  (code & 1) ? PIECE_LETTERS[code] - 'a' + 'A' : PIECE_LETTERS[code] - 'A' + 'a');
    }
}

TEST(Pst, GridSpotValues) {
    struct Case {
        int piece;
        const char* square;
        int opening, endgame;
    };
    const Case cases[] = {
        {WHITE_PAWN, "a2", -15, 0},     {WHITE_PAWN, "d4", 25, 0},
        {WHITE_PAWN, "e5", 15, 4},      {WHITE_PAWN, "c7", 0, 16},
        {WHITE_PAWN, "h6", -15, 8},     {WHITE_KNIGHT, "a8", -135, -40},
        {WHITE_KNIGHT, "a1", -50, -40}, {WHITE_KNIGHT, "d6", 20, 5},
        {WHITE_KNIGHT, "e4", 15, 10},   {WHITE_BISHOP, "a1", -18, -18},
        {WHITE_BISHOP, "b1", -18, -12}, {WHITE_BISHOP, "c6", 4, 0},
        {WHITE_BISHOP, "d5", 8, 6},     {WHITE_BISHOP, "b7", 0, -6},
        {WHITE_ROOK, "a5", -6, 0},      {WHITE_ROOK, "e1", 3, 0},
        {WHITE_QUEEN, "d1", -5, -8},    {WHITE_QUEEN, "d2", 0, 0},
        {WHITE_QUEEN, "a8", 0, -24},    {WHITE_KING, "b1", 50, -48},
        {WHITE_KING, "e8", -70, -24},   {WHITE_KING, "d4", -30, 24},
        {WHITE_KING, "g2", 40, -24},    {BLACK_KNIGHT, "a1", 135, 40},
        {BLACK_KING, "g8", -50, 48},    {BLACK_PAWN, "e4", -15, -4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << PIECE_LETTERS[c.piece] << " " << c.square);
        EXPECT_EQ(pst[c.piece][sq(c.square)].opening, c.opening);
        EXPECT_EQ(pst[c.piece][sq(c.square)].endgame, c.endgame);
    }
}

TEST(Pst, BlackMirrorsWhiteAndEmptyCodesAreZero) {
    for (int s = 0; s < 64; s++) {
        for (int code = 0; code < 2; code++) {
            EXPECT_EQ(pst[code][s].opening, 0);
            EXPECT_EQ(pst[code][s].endgame, 0);
        }
        for (int white = WHITE_PAWN; white <= WHITE_KING; white += 2) {
            EXPECT_EQ(pst[white + 1][s].opening, -pst[white][s ^ 56].opening);
            EXPECT_EQ(pst[white + 1][s].endgame, -pst[white][s ^ 56].endgame);
        }
    }
}

} // namespace
} // namespace orbelin
