// Start-up construction of popcount16 and the slider tables, and the init_tables sequence.
#include "board/tables.h"

#include "board/keys.h"
#include "eval/pst.h"

namespace orbelin {

// Walks from s one step (df, dr) at a time to the board's edge, adding each square reached and
// stopping after a square that the pattern marks occupied. index_of maps a square to its bit
// in the line's board; shift is where the six-bit pattern starts.
static Bitboard slide(int s, int df, int dr, int pattern, const SquareTable& index_of, int shift) {
    Bitboard set = 0;
    int f = file_of(s), r = rank_of(s);
    for (;;) {
        f += df;
        r += dr;
        if (f < 0 || f > 7 || r < 0 || r > 7) return set;
        int t = 8 * r + f;
        set |= bit(t);
        int j = index_of[t] - shift;
        if (j >= 0 && j < 6 && (pattern >> j & 1)) return set;
    }
}

consteval SquareTable identity_map() {
    SquareTable t{};
    for (int s = 0; s < 64; s++)
        t[s] = s;
    return t;
}

static void init_attacks() {
    constexpr SquareTable plain = identity_map();
    for (int s = 0; s < 64; s++)
        for (int p = 0; p < 64; p++) {
            diag_l45_attacks[s][p] = slide(s, -1, 1, p, l45_map, l45_shift[s]) |
                                     slide(s, 1, -1, p, l45_map, l45_shift[s]);
            diag_r45_attacks[s][p] = slide(s, 1, 1, p, r45_map, r45_shift[s]) |
                                     slide(s, -1, -1, p, r45_map, r45_shift[s]);
            int rank_shift = 8 * rank_of(s) + 1, file_shift = 8 * file_of(s) + 1;
            rank_attacks[s][p] =
                slide(s, 1, 0, p, plain, rank_shift) | slide(s, -1, 0, p, plain, rank_shift);
            file_attacks[s][p] =
                slide(s, 0, 1, p, l90_map, file_shift) | slide(s, 0, -1, p, l90_map, file_shift);
        }
    for (int s = 0; s < 64; s++) {
        bishop_rays[s] = diag_l45_attacks[s][0] | diag_r45_attacks[s][0];
        rook_rays[s]   = rank_attacks[s][0] | file_attacks[s][0];
        queen_rays[s]  = bishop_rays[s] | rook_rays[s];
    }
}

void init_tables(GRand* rng) {
    for (int i = 0; i < 65536; i++)
        popcount16[i] = std::uint8_t(std::popcount(unsigned(i)));
    init_keys(rng);
    init_attacks();
    init_pst();
}

} // namespace orbelin
