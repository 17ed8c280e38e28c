// Lifecycle of a position: allocation, clearing, the start position and piece placement.
#include "board/position.h"

#include "board/keys.h"
#include "board/tables.h"
#include "eval/pst.h"

#include <cstring>
#include <glib.h>

namespace orbelin {

Position* position_new() {
    Position* pos = g_new(Position, 1);
    position_set_start(*pos);
    return pos;
}

void position_free(Position* pos) { g_free(pos); }

void position_clear(Position& pos) { std::memset(&pos, 0, sizeof pos); }

void position_put_piece(Position& pos, int piece, int square) {
    pos.bitboards[piece & 1] ^= bit(square);
    pos.bitboards[piece] ^= bit(square);
    rotated_toggle(pos, square);
    pos.board[square] = piece;
    pos.material[piece & 1] += piece_value[piece];
    pos.key ^= zobrist_piece[piece][square];
    pos.pst_opening += pst[piece][square].opening;
    pos.pst_endgame += pst[piece][square].endgame;
    pos.phase += phase_weight[piece];
}

// The squares from a to b on one rank, both included.
static Bitboard rank_span(int a, int b) {
    Bitboard span = 0;
    for (int s = a < b ? a : b; s <= (a < b ? b : a); s++)
        span |= bit(s);
    return span;
}

void position_set_castle_rook(Position& pos, int right, int king_square, int rook_square) {
    const int king_to = castle_king_target(king_square, rook_square);
    const int rook_to = castle_rook_target(king_square, rook_square);
    pos.castle_move[right] =
        move_pack(MOVE_CASTLE, king_square, pos.chess960 ? rook_square : king_to);
    pos.castle_path[right] = (rank_span(king_square, king_to) | rank_span(rook_square, rook_to)) &
                             ~(bit(king_square) | bit(rook_square));
    pos.castle_mask[king_square] |= std::uint8_t(1 << right);
    pos.castle_mask[rook_square] |= std::uint8_t(1 << right);
}

void position_set_start(Position& pos, bool chess960) {
    static constexpr int BACK_RANK[8] = {WHITE_ROOK, WHITE_KNIGHT, WHITE_BISHOP, WHITE_QUEEN,
                                         WHITE_KING, WHITE_BISHOP, WHITE_KNIGHT, WHITE_ROOK};
    position_clear(pos);
    for (int f = 0; f < 8; f++) {
        position_put_piece(pos, BACK_RANK[f], f);
        position_put_piece(pos, WHITE_PAWN, 8 + f);
        position_put_piece(pos, BLACK_PAWN, 48 + f);
        position_put_piece(pos, BACK_RANK[f] + 1, 56 + f);
    }
    pos.chess960 = chess960;
    position_set_castle_rook(pos, 0, 4, 7);
    position_set_castle_rook(pos, 1, 4, 0);
    position_set_castle_rook(pos, 2, 60, 63);
    position_set_castle_rook(pos, 3, 60, 56);
    pos.castling = CASTLE_WK | CASTLE_WQ | CASTLE_BK | CASTLE_BQ;
    pos.key ^= zobrist_castle_set[pos.castling];
}

} // namespace orbelin
