// The rule that builds the piece-square table from small per-file and per-rank tables.
#include "eval/pst.h"

#include "board/position.h"

namespace orbelin {

// clang-format off
static constexpr int PF[8] = {-3, -1, 0, 1, 1, 0, -1, -3};
static constexpr int PR[8] = {0, 0, 0, 0, 2, 4, 8, 0};
static constexpr int NF[8] = {-4, -2, 0, 1, 1, 0, -2, -4};
static constexpr int NR[8] = {-2, -1, 0, 1, 2, 3, 2, 1};
static constexpr int BF[8] = {-3, -1, 0, 1, 1, 0, -1, -3};
static constexpr int RF[8] = {-2, -1, 0, 1, 1, 0, -1, -2};
static constexpr int QF[8] = {-3, -1, 0, 1, 1, 0, -1, -3};
static constexpr int KF[8] = {3, 4, 2, 0, 0, 2, 4, 3};
static constexpr int KR[8] = {1, 0, -2, -3, -4, -5, -6, -7};
static constexpr int KE[8] = {-3, -1, 0, 1, 1, 0, -1, -3};
// clang-format on

constexpr int D3 = 19, E3 = 20, D4 = 27, E4 = 28, D5 = 35, E5 = 36, A8 = 56, H8 = 63;

void init_pst() {
    for (auto& row : pst)
        for (auto& e : row)
            e = {0, 0};
    for (int s = 0; s < 64; s++) {
        int f = file_of(s), r = rank_of(s);
        bool first_rank    = r == 0;
        bool long_diagonal = f == r || f + r == 7;

        PstEntry& pawn = pst[WHITE_PAWN][s];
        pawn.opening   = 5 * PF[f];
        if (s == D3 || s == E3 || s == D5 || s == E5) pawn.opening += 10;
        if (s == D4 || s == E4) pawn.opening += 20;
        pawn.endgame = 2 * PR[r];

        PstEntry& knight = pst[WHITE_KNIGHT][s];
        knight.opening   = 5 * (NF[f] + NF[r] + NR[r]);
        if (s == A8 || s == H8) knight.opening -= 100;
        knight.endgame = 5 * (NF[f] + NF[r]);

        PstEntry& bishop = pst[WHITE_BISHOP][s];
        bishop.opening   = 2 * (BF[f] + BF[r]);
        if (first_rank) bishop.opening -= 10;
        if (long_diagonal) bishop.opening += 4;
        bishop.endgame = 3 * (BF[f] + BF[r]);

        pst[WHITE_ROOK][s]  = {3 * RF[f], 0};
        pst[WHITE_QUEEN][s] = {first_rank ? -5 : 0, 4 * (QF[f] + QF[r])};
        pst[WHITE_KING][s]  = {10 * (KF[f] + KR[r]), 12 * (KE[f] + KE[r])};
    }
    for (int white = WHITE_PAWN; white <= WHITE_KING; white += 2)
        for (int s = 0; s < 64; s++)
            pst[white + 1][s] = {-pst[white][s ^ 56].opening, -pst[white][s ^ 56].endgame};
}

} // namespace orbelin
