// Attack detection by lookup in the slider and leaper tables, and the repetition count.
#include "board/attacks.h"

#include "board/tables.h"

#include <algorithm>

namespace orbelin {

// Steps 1 to 4 of the attack test: sliders, knights, pawns (a king never gives check).
static int attacked_by_non_king(const Position& pos, int s, int by) {
    const Bitboard* bb = pos.bitboards;
    if (rook_attacks_of(pos, s) & (bb[WHITE_QUEEN + by] | bb[WHITE_ROOK + by])) return 1;
    if (bishop_attacks_of(pos, s) & (bb[WHITE_QUEEN + by] | bb[WHITE_BISHOP + by])) return 1;
    if (knight_attacks[s] & bb[WHITE_KNIGHT + by]) return 1;
    if (pawn_attacks[by ^ 1][s] & bb[WHITE_PAWN + by]) return 1;
    return 0;
}

int square_attacked(const Position& pos, int square, int by) {
    if (attacked_by_non_king(pos, square, by)) return 1;
    return (king_attacks[square] & pos.bitboards[WHITE_KING + by]) != 0;
}

int in_check_test(const Position& pos) {
    int king = lsb(pos.bitboards[WHITE_KING + pos.side]);
    return attacked_by_non_king(pos, king, pos.side ^ 1);
}

int repetition_count(const Position& pos) {
    int n = std::min(pos.static_moves, pos.ply);
    if (n < 4) return 0;
    int count = 0;
    for (int d = 4; d <= n;) {
        if (pos.history[pos.ply - d].key == pos.key) {
            count++;
            d += 4;
        } else {
            d += 2;
        }
    }
    return count;
}

} // namespace orbelin
