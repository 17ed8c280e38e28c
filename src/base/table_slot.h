#pragma once
// Where the transposition table lies and which slot a key takes. It sits below the move code,
// which starts loading a child's slot while it makes the move; the table's contents and rules
// are the search's (search/tt.h).
#include <bit>
#include <cstdint>

namespace orbelin {

// One slot: the data word (see tt.h) and check = key XOR data.
struct TTEntry {
    std::uint64_t check;
    std::uint64_t data;
};
static_assert(sizeof(TTEntry) == 16);

// The remainder key mod n without a 64-bit division, which would cost dozens of cycles on
// every probe. A power-of-two n takes a mask; any other n a multiply by the reciprocal rounded
// up (the method of Granlund and Montgomery: shift = ceil(log2 n), magic = ceil(2^(64 + shift)
// / n) - 2^64), which gives the quotient, and so the remainder, exactly for every 64-bit key.
struct SlotDivisor {
    std::uint64_t n;
    std::uint64_t magic; // 0 when n is a power of two (or 0)
    int shift;
};

constexpr SlotDivisor slot_divisor(std::uint64_t n) {
    if ((n & (n - 1)) == 0) return {n, 0, 0};
    int shift = 64 - std::countl_zero(n - 1);
    auto big  = static_cast<unsigned __int128>(1) << (64 + shift);
    auto m    = (big + n - 1) / n;
    return {n, std::uint64_t(m), shift};
}

constexpr std::uint64_t slot_of(const SlotDivisor& d, std::uint64_t key) {
    if (d.magic == 0) return key & (d.n - 1);
    auto hi         = std::uint64_t(static_cast<unsigned __int128>(key) * d.magic >> 64);
    std::uint64_t q = (((key - hi) >> 1) + hi) >> (d.shift - 1);
    return key - q * d.n;
}
static_assert(slot_of(slot_divisor(65536), 0x123456789ULL) == 0x6789);
static_assert(slot_of(slot_divisor(3 << 16), ~0ULL) == ~0ULL % (3 << 16));
static_assert(slot_of(slot_divisor(4095ULL << 16), 0xFEDCBA9876543210ULL) ==
              0xFEDCBA9876543210ULL % (4095ULL << 16));

// Written by the main thread ("setoption", start-up) while no search runs; read by searchers.
// tt_divisor always describes tt_entries.
inline TTEntry* tt_table        = nullptr;
inline std::uint32_t tt_entries = 0;
inline SlotDivisor tt_divisor   = {0, 0, 0};

// The slot of a key: entry number key mod tt_entries.
inline TTEntry* tt_slot(std::uint64_t key) { return &tt_table[slot_of(tt_divisor, key)]; }

} // namespace orbelin
