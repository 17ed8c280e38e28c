#pragma once
// Pawn structure and passed pawns, with the pawn hash table that caches the structure scores.
// The table is shared by every searching thread without a lock (see PawnHashEntry).
#include "board/position.h"
#include "eval/evaluate.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace orbelin {

// file_mask[f]: the eight squares of file f; rank_mask[r]: the eight squares of rank r.
consteval std::array<Bitboard, 8> make_file_masks() {
    std::array<Bitboard, 8> t{};
    for (int f = 0; f < 8; f++)
        t[f] = FILE_A << f;
    return t;
}
consteval std::array<Bitboard, 8> make_rank_masks() {
    std::array<Bitboard, 8> t{};
    for (int r = 0; r < 8; r++)
        t[r] = RANK_1 << (8 * r);
    return t;
}
inline constexpr std::array<Bitboard, 8> file_mask = make_file_masks();
inline constexpr std::array<Bitboard, 8> rank_mask = make_rank_masks();
static_assert(file_mask[4] == 0x1010101010101010ULL && rank_mask[1] == 0xFF00ULL);

// Scale out of 256 by relative rank (0 = own first rank), for passed and candidate pawns.
inline constexpr std::array<int, 8> passer_factor = {0, 0, 0, 26, 77, 154, 256, 0};

// One slot, 32 bytes. scores holds the opening score (low half) and the endgame score (high
// half) of White's pawn structure less Black's, as two's-complement 32-bit values.
// check = key ^ scores ^ passers[WHITE] ^ passers[BLACK]. Threads read and write the four
// words one at a time (relaxed atomic_ref) with no lock, so a slot written by two threads at
// once may mix their fields; the check then fails and the reader recomputes.
struct PawnHashEntry {
    std::uint64_t check;
    std::uint64_t scores;
    Bitboard passers[2];
};
static_assert(sizeof(PawnHashEntry) == 32);

constexpr std::uint32_t PAWN_HASH_ENTRIES = (1 << 20) / sizeof(PawnHashEntry); // 1 MiB
static_assert(PAWN_HASH_ENTRIES == 32768);

// The table: allocated by pawn_hash_alloc at start-up and released by pawn_hash_free at quit,
// on the main thread while no search runs; read and written by every searching thread. Null
// before the allocation: evaluation then computes the structure every time.
inline PawnHashEntry* pawn_hash = nullptr;

#ifdef ORBELIN_STATS
// Probes of the table by eval_pawns and their hits, counted only in a build configured with
// ORBELIN_STATS (orbelin-tool bench prints them). Relaxed: several threads may count at once.
inline std::atomic<std::uint64_t> pawn_hash_probes{0};
inline std::atomic<std::uint64_t> pawn_hash_hits{0};
#endif

// Allocates the table if it is not there yet (allocation failure ends the process). The slots
// start zeroed; a zeroed slot can only verify for the key of a board without pawns, whose
// stored answer (no score, no passers) is then the right one.
void pawn_hash_alloc();
// Releases the table; no search may be running.
void pawn_hash_free();

// The two halves of a score pair and back.
constexpr std::uint64_t pawn_scores_pack(int opening, int endgame) {
    return std::uint64_t(std::uint32_t(opening)) | std::uint64_t(std::uint32_t(endgame)) << 32;
}
constexpr int pawn_scores_opening(std::uint64_t scores) { return int(std::int32_t(scores)); }
constexpr int pawn_scores_endgame(std::uint64_t scores) { return int(std::int32_t(scores >> 32)); }
static_assert(pawn_scores_endgame(pawn_scores_pack(-10, -20)) == -20);
static_assert(pawn_scores_opening(pawn_scores_pack(-10, -20)) == -10);

// A bijective 64-bit mixer (the finaliser of MurmurHash3): every input bit reaches every
// output bit, and 0 stays 0.
constexpr std::uint64_t mix64(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDULL;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ULL;
    x ^= x >> 33;
    return x;
}
static_assert(mix64(0) == 0);

// The key of the pawn skeleton: a mix of both colours' pawn boards, so that swapping the
// colours of the pawns gives another key and the low bits (the slot index) depend on every
// pawn. A board without pawns has key 0.
inline std::uint64_t pawn_key(const Position& pos) {
    return mix64(pos.bitboards[WHITE_PAWN] ^ mix64(pos.bitboards[BLACK_PAWN]));
}

// The slot of a pawn key (the table must be allocated to read it; a prefetch may use it
// before).
inline PawnHashEntry* pawn_hash_slot(std::uint64_t key) {
    return &pawn_hash[key % PAWN_HASH_ENTRIES];
}

// Looks the key up. slot is set to the key's slot and passers to the slot's passers (before
// verification); on a hit scores is set and the answer is true.
bool pawn_hash_probe(std::uint64_t key, PawnHashEntry*& slot, std::uint64_t& scores,
                     Bitboard passers[2]);
// Overwrites the slot with the contents and their check word.
void pawn_hash_store(std::uint64_t key, PawnHashEntry* slot, std::uint64_t scores,
                     const Bitboard passers[2]);

// The pawn structure computed afresh, without the table: White's scores less Black's, and
// both colours' passed pawns.
std::uint64_t pawn_structure(const Position& pos, Bitboard passers[2]);

// Adds the pawn-structure scores (from the table when it knows the skeleton) and fills
// info.passers.
void eval_pawns(const Position& pos, EvalInfo& info);
// Adds the passed-pawn scores of info.passers, using the kings, the side to move and
// info.nonpawn_material.
void eval_passers(const Position& pos, EvalInfo& info);

} // namespace orbelin
