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

void position_set_start(Position& pos) {
    static constexpr int BACK_RANK[8] = {WHITE_ROOK, WHITE_KNIGHT, WHITE_BISHOP, WHITE_QUEEN,
                                         WHITE_KING, WHITE_BISHOP, WHITE_KNIGHT, WHITE_ROOK};
    position_clear(pos);
    for (int f = 0; f < 8; f++) {
        position_put_piece(pos, BACK_RANK[f], f);
        position_put_piece(pos, WHITE_PAWN, 8 + f);
        position_put_piece(pos, BLACK_PAWN, 48 + f);
        position_put_piece(pos, BACK_RANK[f] + 1, 56 + f);
    }
    pos.castling = CASTLE_WK | CASTLE_WQ | CASTLE_BK | CASTLE_BQ;
    pos.key ^= zobrist_castle_set[pos.castling];
}

} // namespace orbelin
