// Pawn structure (doubled, isolated, backward, candidate and passed pawns) with its hash table,
// and the passed-pawn term. The table is shared by all searching threads (relaxed words).
#include "eval/pawns.h"

#include <atomic>
#include <glib.h>

namespace orbelin {

void pawn_hash_alloc() {
    if (pawn_hash == nullptr) pawn_hash = g_new0(PawnHashEntry, PAWN_HASH_ENTRIES);
}

void pawn_hash_free() {
    g_free(pawn_hash);
    pawn_hash = nullptr;
}

static std::uint64_t word_load(std::uint64_t& word) {
    return std::atomic_ref<std::uint64_t>(word).load(std::memory_order_relaxed);
}
static void word_store(std::uint64_t& word, std::uint64_t value) {
    std::atomic_ref<std::uint64_t>(word).store(value, std::memory_order_relaxed);
}

bool pawn_hash_probe(std::uint64_t key, PawnHashEntry*& slot, std::uint64_t& scores,
                     Bitboard passers[2]) {
    slot                 = pawn_hash_slot(key);
    std::uint64_t check  = word_load(slot->check);
    std::uint64_t stored = word_load(slot->scores);
    passers[WHITE]       = word_load(slot->passers[WHITE]);
    passers[BLACK]       = word_load(slot->passers[BLACK]);
    if ((key ^ stored ^ passers[WHITE] ^ passers[BLACK]) != check) return false;
    scores = stored;
    return true;
}

void pawn_hash_store(std::uint64_t key, PawnHashEntry* slot, std::uint64_t scores,
                     const Bitboard passers[2]) {
    word_store(slot->scores, scores);
    word_store(slot->passers[WHITE], passers[WHITE]);
    word_store(slot->passers[BLACK], passers[BLACK]);
    word_store(slot->check, key ^ scores ^ passers[WHITE] ^ passers[BLACK]);
}

// Squares on the given rank, none off the board.
static Bitboard rank_bb(int r) { return r >= 0 && r < 8 ? rank_mask[r] : 0; }

// Files beside file f that exist.
static Bitboard adjacent_files(int f) {
    return (f > 0 ? file_mask[f - 1] : 0) | (f < 7 ? file_mask[f + 1] : 0);
}

// One colour's structure seen from its own side (its pawns move up the board): adds its scores
// and answers its passed pawns in the same orientation.
template <bool HW>
[[gnu::always_inline]] static inline Bitboard pawn_side(Bitboard own, Bitboard enemy, int& opening,
                                                        int& endgame) {
    Bitboard passers = 0;
    Bitboard pawns   = own;
    while (pawns) {
        int s = pop_lsb(pawns), f = file_of(s), r = rank_of(s);
        Bitboard file    = file_mask[f];
        Bitboard adj     = adjacent_files(f);
        Bitboard front   = ~Bitboard(0) << 8 * (r + 1); // ranks above r (r is at most 6)
        Bitboard up_to_r = (bit(8 * r) << 8) - 1;       // ranks 0 to r
        Bitboard below_r = bit(8 * r) - 1;

        bool doubled  = own & file & below_r;
        bool isolated = !(own & adj);
        bool backward = false;
        if (!isolated && !(own & adj & up_to_r)) {
            if (!(own & adj & rank_bb(r + 1))) {
                if (r == 1 && (own & adj & rank_mask[3])) {
                    // The double step may still bring it beside its neighbour.
                    Bitboard path = file & (rank_mask[2] | rank_mask[3]);
                    backward      = ((own | enemy) & path) ||
                               (enemy & adj & (rank_mask[2] | rank_mask[3] | rank_mask[4]));
                } else {
                    backward = true;
                }
            } else {
                backward = ((own | enemy) & file & rank_bb(r + 1)) ||
                           (enemy & adj & (rank_bb(r + 1) | rank_bb(r + 2)));
            }
        }
        bool open   = !((own | enemy) & file & front);
        bool passed = open && !(enemy & adj & front);
        bool candidate =
            open && !passed &&
            count_bits<HW>(own & adj & up_to_r) >= count_bits<HW>(enemy & adj & front) &&
            count_bits<HW>(own & adj & rank_bb(r - 1)) >=
                count_bits<HW>(enemy & adj & rank_bb(r + 1));

        if (passed) passers |= bit(s);
        if (doubled) opening -= 10, endgame -= 20;
        if (isolated) opening -= open ? 20 : 10, endgame -= 20;
        if (backward) opening -= open ? 16 : 8, endgame -= 10;
        if (candidate) {
            opening += 5 + (50 * passer_factor[r] + 128) / 256;
            endgame += 10 + (100 * passer_factor[r] + 128) / 256;
        }
    }
    return passers;
}

template <bool HW>
[[gnu::always_inline]] static inline std::uint64_t structure(const Position& pos,
                                                             Bitboard passers[2]) {
    Bitboard white = pos.bitboards[WHITE_PAWN], black = pos.bitboards[BLACK_PAWN];
    int white_opening = 0, white_endgame = 0, black_opening = 0, black_endgame = 0;
    passers[WHITE] = pawn_side<HW>(white, black, white_opening, white_endgame);
    passers[BLACK] = flip_ranks(
        pawn_side<HW>(flip_ranks(black), flip_ranks(white), black_opening, black_endgame));
    return pawn_scores_pack(white_opening - black_opening, white_endgame - black_endgame);
}

// The structure with the processor's population count, and with the table.
[[gnu::target("popcnt")]] static std::uint64_t structure_popcnt(const Position& pos,
                                                                Bitboard passers[2]) {
    return structure<true>(pos, passers);
}
static std::uint64_t structure_table(const Position& pos, Bitboard passers[2]) {
    return structure<false>(pos, passers);
}

std::uint64_t pawn_structure(const Position& pos, Bitboard passers[2]) {
    return eval_popcnt ? structure_popcnt(pos, passers) : structure_table(pos, passers);
}

void eval_pawns(const Position& pos, EvalInfo& info) {
    std::uint64_t scores;
    if (pawn_hash == nullptr) {
        scores = pawn_structure(pos, info.passers);
    } else {
        std::uint64_t key   = pawn_key(pos);
        PawnHashEntry* slot = nullptr;
        bool hit            = pawn_hash_probe(key, slot, scores, info.passers);
#ifdef ORBELIN_STATS
        pawn_hash_probes.fetch_add(1, std::memory_order_relaxed);
        if (hit) pawn_hash_hits.fetch_add(1, std::memory_order_relaxed);
#endif
        if (!hit) {
            scores = pawn_structure(pos, info.passers);
            pawn_hash_store(key, slot, scores, info.passers);
        }
    }
    info.opening += pawn_scores_opening(scores);
    info.endgame += pawn_scores_endgame(scores);
}

// One colour's passed pawns seen from its own side (own pawns move up; squares of the other
// colour flipped to match): adds their scores.
static void passers_side(Bitboard passers, Bitboard own_men, int own_king, int enemy_king,
                         bool enemy_has_pieces, bool enemy_to_move, int& opening, int& endgame) {
    while (passers) {
        int s = pop_lsb(passers), f = file_of(s), r = rank_of(s);
        int factor = passer_factor[r];
        int stop   = s + 8;
        int base   = 120;
        if (!enemy_has_pieces) {
            bool unstoppable = false;
            Bitboard ahead   = file_mask[f] & ((~Bitboard(0) << 8 * r) << 8);
            if (!(own_men & ahead)) {
                // The rule of the square; from its first rank the pawn still has the double step.
                int pawn_distance = 7 - (r < 2 ? 2 : r);
                int king_distance = square_distance(enemy_king, 56 + f) - (enemy_to_move ? 1 : 0);
                unstoppable       = king_distance > pawn_distance;
            }
            if (unstoppable) {
                base = 920;
            } else {
                bool rook_pawn = f == 0 || f == 7;
                if (rank_of(own_king) >= 6 && square_distance(own_king, s) == 1 &&
                    !(rook_pawn && file_of(own_king) == f))
                    base = 920;
            }
        }
        int b = base + 20 * square_distance(enemy_king, stop) - 5 * square_distance(own_king, stop);
        opening += 10 + (60 * factor + 128) / 256;
        endgame += 20;
        if (b > 0) endgame += (b * factor + 128) / 256;
    }
}

void eval_passers(const Position& pos, EvalInfo& info) {
    if ((info.passers[WHITE] | info.passers[BLACK]) == 0) return;
    const Bitboard* bb = pos.bitboards;
    int white_king = lsb(bb[WHITE_KING]), black_king = lsb(bb[BLACK_KING]);
    int white_opening = 0, white_endgame = 0, black_opening = 0, black_endgame = 0;
    passers_side(info.passers[WHITE], bb[OCC_WHITE], white_king, black_king,
                 info.nonpawn_material[BLACK] != 0, pos.side == BLACK, white_opening,
                 white_endgame);
    passers_side(flip_ranks(info.passers[BLACK]), flip_ranks(bb[OCC_BLACK]), black_king ^ 56,
                 white_king ^ 56, info.nonpawn_material[WHITE] != 0, pos.side == WHITE,
                 black_opening, black_endgame);
    info.opening += white_opening - black_opening;
    info.endgame += white_endgame - black_endgame;
}

} // namespace orbelin
