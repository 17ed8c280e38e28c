// Transposition table allocation, probing, the replacement rule and the principal-variation walk.
#include "search/tt.h"

#include "base/options.h"
#include "board/attacks.h"
#include "moves/generate.h"
#include "moves/make.h"
#include "moves/picker.h"
#include "search/search.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <glib.h>
#include <sys/mman.h>

namespace orbelin {

namespace {

inline std::uint64_t load(std::uint64_t& word) {
    return std::atomic_ref<std::uint64_t>(word).load(std::memory_order_relaxed);
}
inline void store(std::uint64_t& word, std::uint64_t value) {
    std::atomic_ref<std::uint64_t>(word).store(value, std::memory_order_relaxed);
}
inline void write_entry(TTEntry* slot, std::uint64_t key, std::uint64_t data) {
    store(slot->data, data);
    store(slot->check, key ^ data);
}
inline bool stopping() { return search_stopped(); }
inline void free_count_down() {
    CacheLineAtomic<std::uint32_t>& taken = tt_taken[node_slot];
    taken.store(taken.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}
inline void free_count_reset() {
    for (auto& taken : tt_taken)
        taken.store(0, std::memory_order_relaxed);
}

// The allocation that holds tt_table. A table of 2 MiB or more starts at the first 2 MiB
// boundary inside it and asks the kernel for huge pages: with 4 KiB pages nearly every probe
// of a large table also misses the address cache and waits for a page-table walk.
void* tt_memory                 = nullptr;
constexpr std::size_t HUGE_PAGE = std::size_t(2) << 20;

TTEntry* table_alloc(std::size_t bytes) {
    const std::size_t extra = bytes >= HUGE_PAGE ? HUGE_PAGE : 0;
    // Zeroed memory as the system hands it out: its pages are mapped (and zeroed) only when
    // first touched, so even the largest table is ready at once.
    tt_memory = g_try_malloc0(bytes + extra);
    if (tt_memory == nullptr || extra == 0) return static_cast<TTEntry*>(tt_memory);
    auto start  = (reinterpret_cast<std::uintptr_t>(tt_memory) + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    void* table = reinterpret_cast<void*>(start);
#ifdef MADV_HUGEPAGE
    madvise(table, bytes, MADV_HUGEPAGE); // a hint: without huge pages the table still works
#endif
    return static_cast<TTEntry*>(table);
}

} // namespace

void tt_alloc() {
    // 64-bit sizes: 4096 MB is 2^28 entries, beyond 32-bit byte counts.
    for (int mb = option_hash; mb >= 1; mb /= 2) {
        std::uint64_t entries = (std::uint64_t(mb) << 20) / sizeof(TTEntry);
        TTEntry* table        = table_alloc(entries * sizeof(TTEntry));
        if (table == nullptr) {
            g_log(nullptr, G_LOG_LEVEL_WARNING, "Cannot allocate a %d MB hash table\n", mb);
            continue;
        }
        tt_table    = table;
        tt_entries  = std::uint32_t(entries);
        tt_divisor  = slot_divisor(entries);
        option_hash = mb;
        tt_age.store(1, std::memory_order_relaxed);
        free_count_reset();
        return;
    }
    g_log(nullptr, G_LOG_LEVEL_ERROR, "Cannot allocate a hash table\n");
}

void tt_free() {
    g_free(tt_memory);
    tt_memory  = nullptr;
    tt_table   = nullptr;
    tt_entries = 0;
    tt_divisor = slot_divisor(0);
}

void tt_clear() {
    std::memset(static_cast<void*>(tt_table), 0, std::size_t(tt_entries) * sizeof(TTEntry));
    tt_age.store(1, std::memory_order_relaxed);
    free_count_reset();
}

void tt_new_search() {
    std::uint32_t age = tt_age.load(std::memory_order_relaxed);
    if (age < 65535) {
        tt_age.store(age + 1, std::memory_order_relaxed);
    } else {
        constexpr std::uint64_t AGE_MASK = std::uint64_t(0xFFFF) << 32;
        for (std::uint32_t i = 0; i < tt_entries; i++) {
            TTEntry* e         = &tt_table[i];
            std::uint64_t data = load(e->data);
            std::uint64_t key  = load(e->check) ^ data;
            write_entry(e, key, data & ~AGE_MASK);
        }
        tt_age.store(1, std::memory_order_relaxed);
    }
    free_count_reset();
}

int tt_probe(std::uint64_t key, TTEntry*& slot, std::uint64_t& data) {
    slot                = tt_slot(key);
    data                = load(slot->data);
    std::uint64_t check = load(slot->check);
    if ((check ^ data) != key) return 0;
    std::uint32_t age = tt_age.load(std::memory_order_relaxed);
    if (std::uint32_t(tt_entry_age(data)) < age) {
        constexpr std::uint64_t AGE_MASK = std::uint64_t(0xFFFF) << 32;
        data                             = (data & ~AGE_MASK) | std::uint64_t(age) << 32;
        write_entry(slot, key, data);
        free_count_down();
    }
    return 1;
}

void tt_store(TTEntry* slot, std::uint64_t key, int depth, int score, int flag, Move move) {
    if (stopping()) return;
    std::uint64_t old = load(slot->data);
    int age           = int(tt_age.load(std::memory_order_relaxed));
    bool older        = tt_entry_age(old) < age;
    if (depth < tt_depth(old) && !older) return;
    if (tt_depth(old) == 0 || older) free_count_down();
    write_entry(slot, key, tt_pack(depth, flag, move, age, score));
}

void tt_store_root(std::uint64_t key, int depth, int score, Move move) {
    if (stopping()) return;
    TTEntry* slot = tt_slot(key);
    if (tt_depth(load(slot->data)) == 0) free_count_down();
    int age = int(tt_age.load(std::memory_order_relaxed));
    write_entry(slot, key, tt_pack(depth, TT_EXACT, move, age, score));
}

void tt_collect_pv(Position& pos, Move* pv) {
    int made = 0;
    TTEntry* slot;
    std::uint64_t data;
    auto drawn = [&pos] { return repetition_count(pos) != 0 || pos.static_moves >= 100; };
    int hit    = !drawn() && tt_probe(pos.key, slot, data);
    while (hit && made < 13) {
        Move m = tt_move(data);
        // A move from the table is played only when it can be played here.
        if (m == 0 || !move_is_pseudo_legal(pos, m) || !make_move(pos, m)) break;
        pv[made++] = m;
        hit        = !drawn() && tt_probe(pos.key, slot, data);
    }
    pv[made] = 0;
    for (int i = 0; i < made; i++)
        unmake_move(pos);
}

std::uint32_t hashfull_permill() {
    std::uint64_t used = tt_entries - tt_free_count();
    return std::uint32_t(used * 1000 / tt_entries);
}

} // namespace orbelin
