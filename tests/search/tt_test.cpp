// The transposition table: probe, replacement by depth and age, the age wrap, hashfull and
// scores at the edges of 16 bits.
#include "base/options.h"
#include "search/search.h"
#include "search/tt.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <vector>

namespace orbelin {
namespace {

class TranspositionTable : public ::testing::Test {
  protected:
    void SetUp() override {
        option_hash = 1;
        tt_alloc();
        stop_flag.store(0);
        abort_flag.store(0);
    }
    void TearDown() override { tt_free(); }
};

TEST_F(TranspositionTable, StoresAndProbesWithEdgeScores) {
    ASSERT_EQ(tt_entries, 65536u);
    EXPECT_EQ(hashfull_permill(), 0u);
    TTEntry* slot;
    std::uint64_t data;
    const int scores[] = {30000, -30000, 29998, -1, 0, 12345};
    std::uint64_t key  = 0x123456789ABCDEFULL;
    for (int score : scores) {
        SCOPED_TRACE(score);
        EXPECT_EQ(tt_probe(key, slot, data), 0);
        tt_store(slot, key, 7, score, TT_LOWER, 28865);
        ASSERT_EQ(tt_probe(key, slot, data), 1);
        EXPECT_EQ(tt_score(data), score);
        EXPECT_EQ(tt_depth(data), 7);
        EXPECT_EQ(tt_flag(data), TT_LOWER);
        EXPECT_EQ(tt_move(data), 28865u);
        key += 0x10001; // another slot
    }
    EXPECT_EQ(hashfull_permill(), 6u * 1000 / 65536);
}

TEST_F(TranspositionTable, OtherKeyInTheSlotMissesButShowsItsDepth) {
    TTEntry* slot;
    std::uint64_t data;
    const std::uint64_t key = 42, other = 42 + 65536; // same slot
    tt_probe(key, slot, data);
    tt_store(slot, key, 9, 100, TT_EXACT, 0);
    EXPECT_EQ(tt_probe(other, slot, data), 0);
    EXPECT_EQ(tt_depth(data), 9);
}

TEST_F(TranspositionTable, ReplacementPrefersDepthWithinAnAge) {
    TTEntry* slot;
    std::uint64_t data;
    const std::uint64_t key = 77, other = 77 + 65536;
    tt_probe(key, slot, data);
    tt_store(slot, key, 8, 1, TT_EXACT, 0);
    tt_probe(other, slot, data);
    tt_store(slot, other, 5, 2, TT_EXACT, 0); // shallower: kept out
    EXPECT_EQ(tt_probe(key, slot, data), 1);
    tt_new_search();
    tt_probe(other, slot, data);
    tt_store(slot, other, 5, 2, TT_EXACT, 0); // the older entry gives way
    EXPECT_EQ(tt_probe(other, slot, data), 1);
    EXPECT_EQ(tt_probe(key, slot, data), 0);
}

TEST_F(TranspositionTable, NothingIsStoredWhileStopping) {
    TTEntry* slot;
    std::uint64_t data;
    tt_probe(5, slot, data);
    stop_flag.store(1);
    tt_store(slot, 5, 3, 1, TT_EXACT, 0);
    tt_store_root(5, 3, 1, 0);
    EXPECT_EQ(tt_probe(5, slot, data), 0);
    // A ponder search past its budget goes on, and goes on learning.
    pondering.store(1);
    tt_probe(6, slot, data);
    tt_store(slot, 6, 3, 1, TT_EXACT, 0);
    EXPECT_EQ(tt_probe(6, slot, data), 1);
    pondering.store(0);
    stop_flag.store(0);
    abort_flag.store(1);
    tt_probe(5, slot, data);
    tt_store(slot, 5, 3, 1, TT_EXACT, 0);
    EXPECT_EQ(tt_probe(5, slot, data), 0);
    abort_flag.store(0);
    tt_store_root(5, 3, 1, 0);
    EXPECT_EQ(tt_probe(5, slot, data), 1);
}

TEST_F(TranspositionTable, AgeWrapsAfter65535AndOldEntriesRefresh) {
    TTEntry* slot;
    std::uint64_t data;
    tt_probe(9, slot, data);
    tt_store(slot, 9, 4, -7, TT_UPPER, 0);
    tt_age.store(65535);
    tt_new_search();
    EXPECT_EQ(tt_age.load(), 1u);
    ASSERT_EQ(tt_probe(9, slot, data), 1); // still valid, now refreshed to age 1
    EXPECT_EQ(tt_entry_age(data), 1);
    EXPECT_EQ(tt_score(data), -7);
    EXPECT_EQ(hashfull_permill(), 0u); // one entry of 65536 rounds to 0
    tt_new_search();
    tt_probe(10, slot, data);
    tt_store(slot, 10, 1, 0, TT_EXACT, 0);
    tt_probe(9, slot, data);
    EXPECT_EQ(tt_free_count(), tt_entries - 2);
}

TEST_F(TranspositionTable, TornEntryReadsAsMiss) {
    TTEntry* slot;
    std::uint64_t data;
    tt_probe(1234, slot, data);
    tt_store(slot, 1234, 6, 50, TT_EXACT, 0);
    slot->data ^= std::uint64_t(1) << 40; // a half-written data word
    EXPECT_EQ(tt_probe(1234, slot, data), 0);
}

// The slot is key mod the entry count for every table size "Hash" allows, power of two or
// not, for keys at the edges and spread over all 64 bits.
TEST(TranspositionTableSlot, EqualsTheRemainderForEverySize) {
    GRand* rng                      = g_rand_new_with_seed(7);
    std::vector<std::uint64_t> keys = {0, 1, 65535, 65536, ~0ULL, ~0ULL - 1, 1ULL << 63};
    for (int i = 0; i < 200; i++)
        keys.push_back(std::uint64_t(g_rand_int(rng)) << 32 | g_rand_int(rng));
    g_rand_free(rng);
    for (std::uint64_t mb = 1; mb <= 4096; mb++) {
        const std::uint64_t entries = (mb << 20) / sizeof(TTEntry);
        const SlotDivisor divisor   = slot_divisor(entries);
        SCOPED_TRACE(mb);
        const std::uint64_t last = ~0ULL / entries * entries; // the highest multiple
        for (std::uint64_t key : {entries - 1, entries, last - 1, last})
            ASSERT_EQ(slot_of(divisor, key), key % entries) << key;
        for (std::uint64_t key : keys)
            ASSERT_EQ(slot_of(divisor, key), key % entries) << key;
    }
}

// A table whose size is no power of two hands back the slot key mod its entries.
TEST(TranspositionTableSlot, ProbeOfAThreeMegabyteTable) {
    const int kept = option_hash;
    option_hash    = 3;
    tt_alloc();
    ASSERT_EQ(tt_entries, 3u << 16);
    for (std::uint64_t key : {0ULL, 196607ULL, 196608ULL, 0xFEDCBA9876543210ULL, ~0ULL}) {
        TTEntry* slot;
        std::uint64_t data;
        tt_probe(key, slot, data);
        EXPECT_EQ(std::uint64_t(slot - tt_table), key % tt_entries) << key;
    }
    tt_free();
    option_hash = kept;
}

TEST(TimeBudget, DocumentedExamples) {
    Position white{};
    white.side = WHITE;
    Position black{};
    black.side = BLACK;
    struct Case {
        std::uint32_t movestogo, wtime, winc, btime, binc, movetime;
        const Position* pos;
        std::uint32_t budget;
    };
    const Case cases[] = {
        {40, 0, 0, 0, 0, 500, &white, 500},
        {40, 60000, 0, 60000, 0, 0, &white, 1950},
        {40, 60000, 0, 30000, 0, 0, &white, 3900},
        {40, 30000, 0, 60000, 0, 0, &black, 3900},
        {3, 10000, 0, 10000, 0, 0, &white, 3166},
        {40, 0, 0, 0, 0, 0, &white, 0},
        // Far behind on the clock the estimate rounds to nothing: a millisecond, not the clock.
        {40, 400, 0, 60000, 0, 0, &white, 1},
        {40, 60000, 1000, 60000, 1000, 0, &white, 3217},
        // With increments the estimate may come near the whole of a short clock: half stays.
        {40, 70, 50, 70, 50, 0, &white, 35},
        {40, 60000, 0, 2000, 0, 0, &white, 30000},
        // The last move before the time control keeps 100 ms, or half of a shorter clock.
        {1, 1000, 0, 1000, 0, 0, &white, 900},
        {1, 100, 0, 100, 0, 0, &white, 50},
        {2, 150, 0, 150, 0, 0, &black, 71},
        // Clocks near 2^32 milliseconds stay within range when scaled.
        {1, 4294967295u, 0, 4294967295u, 0, 0, &white, 4080218930u},
        {40, 4294967295u, 0, 1, 0, 0, &white, 2147483647u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.budget);
        SearchLimits limits{};
        limits.movestogo = c.movestogo;
        limits.wtime     = c.wtime;
        limits.winc      = c.winc;
        limits.btime     = c.btime;
        limits.binc      = c.binc;
        limits.movetime  = c.movetime;
        EXPECT_EQ(time_budget(*c.pos, limits), c.budget);
    }
}

// The move overhead comes off the clock before it is shared out, and stays in reserve with
// min(T / 2, 100 ms) of the clock T; a clock too short for that still searches a millisecond.
TEST(TimeBudget, MoveOverheadComesOffTheClock) {
    Position white{};
    white.side = WHITE;
    struct Case {
        int overhead;
        std::uint32_t movestogo, wtime, btime, movetime, budget;
    };
    const Case cases[] = {
        {100, 40, 60000, 60000, 0, 1942},  // own share 59900 / 40 against 60000 / 40
        {1000, 40, 60000, 60000, 0, 1884}, // 59000 / 40 against 60000 / 40
        {100, 1, 1000, 1000, 0, 800},      // 95 % of 900, less what the reserve keeps
        {1000, 1, 1000, 1000, 0, 1},       // nothing left over the overhead
        {1000, 40, 2000, 2000, 0, 15},     {100, 1, 150, 150, 0, 1},
        {1000, 40, 0, 0, 500, 500}, // a fixed move time is no clock
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.overhead) + " " + std::to_string(c.wtime));
        option_move_overhead = c.overhead;
        SearchLimits limits{};
        limits.movestogo = c.movestogo;
        limits.wtime     = c.wtime;
        limits.btime     = c.btime;
        limits.movetime  = c.movetime;
        EXPECT_EQ(time_budget(white, limits), c.budget);
    }
    // Whatever the clock, the overhead only ever shortens the budget and keeps its reserve.
    for (int overhead : {100, 1000})
        for (std::uint32_t movestogo : {1u, 5u, 40u})
            for (std::uint32_t clock : {50u, 300u, 1100u, 2500u, 10000u, 180000u}) {
                SCOPED_TRACE(std::to_string(overhead) + " " + std::to_string(movestogo) + " " +
                             std::to_string(clock));
                SearchLimits limits{};
                limits.movestogo = movestogo;
                limits.wtime = limits.btime = clock;
                limits.winc = limits.binc = 100;
                option_move_overhead      = 0;
                const std::uint32_t plain = time_budget(white, limits);
                option_move_overhead      = overhead;
                const std::uint32_t with  = time_budget(white, limits);
                const std::uint32_t keep  = std::min(clock / 2, 100u) + std::uint32_t(overhead);
                EXPECT_LE(with, plain);
                EXPECT_GE(with, 1u);
                if (clock > keep)
                    EXPECT_LE(with, clock - keep);
                else
                    EXPECT_EQ(with, 1u);
            }
    option_move_overhead = 0;
}

} // namespace
} // namespace orbelin
