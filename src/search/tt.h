#pragma once
// The transposition table: one 16-byte entry per slot, shared by every searching thread without
// locks. Each entry is two 64-bit words, data and check = key XOR data, read and written as
// relaxed atomics: an entry torn by two writers fails the check and reads as a miss.
#include "base/table_slot.h"
#include "board/position.h"
#include "search/search.h"

#include <atomic>
#include <bit>
#include <cstdint>

namespace orbelin {

constexpr int TT_EXACT = 0;
constexpr int TT_LOWER = 1; // the score is a lower bound
constexpr int TT_UPPER = 2; // the score is an upper bound

// Data word: bits 0-7 depth (0 marks an empty entry), 8-15 bound, 16-31 move,
// 32-47 age, 48-63 score as a 16-bit signed value.
constexpr std::uint64_t tt_pack(int depth, int flag, Move move, int age, int score) {
    return std::uint64_t(depth & 255) | std::uint64_t(flag & 255) << 8 |
           std::uint64_t(move & 0xFFFF) << 16 | std::uint64_t(age & 0xFFFF) << 32 |
           std::uint64_t(std::uint16_t(score)) << 48;
}
constexpr int tt_depth(std::uint64_t data) { return int(data & 255); }
constexpr int tt_flag(std::uint64_t data) { return int(data >> 8 & 255); }
constexpr Move tt_move(std::uint64_t data) { return Move(data >> 16 & 0xFFFF); }
constexpr int tt_entry_age(std::uint64_t data) { return int(data >> 32 & 0xFFFF); }
constexpr int tt_score(std::uint64_t data) { return std::int16_t(data >> 48); }
static_assert(tt_score(tt_pack(1, 0, 0, 1, -30000)) == -30000);
static_assert(tt_score(tt_pack(1, 0, 0, 1, 30000)) == 30000);

// Mate scores go into the table as distances from the node, not from the root: a mate found at
// ply p scores p - 30000 at the root's distance, and the same position met at another ply has
// another distance to the root. Scores beyond TT_MATE_BOUND are mates; the root itself is at
// ply -1 (its children are searched at ply 0).
constexpr int TT_MATE_BOUND = 29000;
constexpr int tt_score_to_table(int score, int ply) {
    return score >= TT_MATE_BOUND ? score + ply : score <= -TT_MATE_BOUND ? score - ply : score;
}
constexpr int tt_score_from_table(int score, int ply) {
    return score >= TT_MATE_BOUND ? score - ply : score <= -TT_MATE_BOUND ? score + ply : score;
}
static_assert(tt_score_from_table(tt_score_to_table(5 - 30000, 3), 7) == 9 - 30000);
static_assert(tt_score_from_table(tt_score_to_table(30000, -1), 4) == 30000 - 5);
static_assert(tt_score_to_table(1234, 9) == 1234);

// Age of the current search: written by the search thread between searches, read by all.
inline std::atomic<std::uint32_t> tt_age{1};
// Entries each thread (by its node slot) has written or touched first in this age, each count
// on a line of its own: a thread bumps its own at most stores, and a count shared by all would
// move between the cores at each of them. An estimate (an entry two threads take at once
// counts twice); tt_free_count reads what they leave.
inline CacheLineAtomic<std::uint32_t> tt_taken[NODE_SLOTS];
// Entries not yet written or touched in this age, by the counts above.
inline std::uint32_t tt_free_count() {
    std::uint64_t taken = 0;
    for (const auto& count : tt_taken)
        taken += count.load(std::memory_order_relaxed);
    return taken >= tt_entries ? 0 : tt_entries - std::uint32_t(taken);
}

// Allocates a table of option_hash MB, empty (zeroed lazily by the system). When the memory cannot
// be had the engine says so on standard error and keeps (or falls back to) a table it can allocate;
// option_hash then shows the size in use.
void tt_alloc();
void tt_free();
// Empties the table; age 1.
void tt_clear();
// Advances the age; after 65535 every entry's age is set to 0 and the age restarts at 1.
void tt_new_search();
// 1 when the slot of the key holds it. The slot and its data word are handed back either way.
int tt_probe(std::uint64_t key, TTEntry*& slot, std::uint64_t& data);
// Writes into the slot found by the last probe of the key, depth-preferred within an age and
// always over an older age; nothing while the search is really stopping (stopped and not
// pondering, or aborted): a ponder search that has outlived its budget still learns.
void tt_store(TTEntry* slot, std::uint64_t key, int depth, int score, int flag, Move move);
// Writes an exact root entry whatever the slot holds; nothing while the search is stopping.
void tt_store_root(std::uint64_t key, int depth, int score, Move move);
// With the root move made: walks the table's moves from the position (at most 13), checking
// each is playable, and writes them to pv ending with 0. The walk ends after a move that
// repeats a position of the game or of the line, or completes fifty moves without capture or
// pawn move: a drawn line goes no further. The position comes back unchanged.
void tt_collect_pv(Position& pos, Move* pv);
// Per mille of the entries written or touched in this age.
std::uint32_t hashfull_permill();

} // namespace orbelin
