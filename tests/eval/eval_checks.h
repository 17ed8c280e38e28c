#pragma once
// Helpers shared by the evaluation tests: the trace of one evaluation and the colour-flipped
// mirror of a position.
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "test_util.h"

#include <gtest/gtest.h>
#include <string>

namespace orbelin {

// The trace of a full-window evaluation of the FEN (the pawn hash is allocated if needed).
inline EvalTrace trace_of(const char* fen, int* score = nullptr) {
    pawn_hash_alloc();
    auto pos = make_position(fen);
    EvalTrace trace;
    int s = evaluate_traced(*pos, -30000, 30000, &trace);
    if (score) *score = s;
    return trace;
}

// The FEN of the position turned upside down with the colours swapped: square s goes to
// s ^ 56, White's men become Black's and the other side moves; castling rights and the
// en-passant square follow.
inline std::string mirror_fen(const Position& pos) {
    std::string fen;
    for (int r = 7; r >= 0; r--) {
        int empty = 0;
        for (int f = 0; f < 8; f++) {
            int piece = pos.board[(8 * r + f) ^ 56];
            if (piece == EMPTY) {
                empty++;
                continue;
            }
            if (empty) fen += char('0' + empty), empty = 0;
            fen += PIECE_LETTERS[piece ^ 1];
        }
        if (empty) fen += char('0' + empty);
        if (r) fen += '/';
    }
    fen += pos.side == WHITE ? " b " : " w ";
    std::string castling;
    if (pos.castling & CASTLE_BK) castling += 'K';
    if (pos.castling & CASTLE_BQ) castling += 'Q';
    if (pos.castling & CASTLE_WK) castling += 'k';
    if (pos.castling & CASTLE_WQ) castling += 'q';
    fen += castling.empty() ? "-" : castling;
    if (pos.ep_square) {
        int s = pos.ep_square ^ 56;
        fen += ' ';
        fen += char('a' + file_of(s));
        fen += char('1' + rank_of(s));
    } else {
        fen += " -";
    }
    return fen + " 0 1";
}

} // namespace orbelin
