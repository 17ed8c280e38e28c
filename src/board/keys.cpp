// Drawing of the Zobrist keys and the from-scratch key of a position.
#include "board/keys.h"

namespace orbelin {

static std::uint64_t draw_key(GRand* rng) {
    std::uint64_t low  = g_rand_int(rng);
    std::uint64_t high = g_rand_int(rng);
    return low | high << 32;
}

void init_keys(GRand* rng) {
    for (auto& row : zobrist_piece)
        for (auto& key : row)
            key = draw_key(rng);
    for (auto& key : zobrist_ep)
        key = draw_key(rng);
    for (auto& key : zobrist_castle)
        key = draw_key(rng);
    zobrist_side = draw_key(rng);
    for (int set = 0; set < 16; set++) {
        zobrist_castle_set[set] = 0;
        for (int i = 0; i < 4; i++)
            if (set >> i & 1) zobrist_castle_set[set] ^= zobrist_castle[i];
    }
}

std::uint64_t position_compute_key(const Position& pos) {
    std::uint64_t key = 0;
    for (int s = 0; s < 64; s++)
        if (pos.board[s] != EMPTY) key ^= zobrist_piece[pos.board[s]][s];
    if (pos.side == BLACK) key ^= zobrist_side;
    key ^= zobrist_castle_set[pos.castling];
    if (pos.ep_square != 0) key ^= zobrist_ep[pos.ep_square & 7];
    return key;
}

} // namespace orbelin
