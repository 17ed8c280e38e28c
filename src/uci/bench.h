#pragma once
// The bench: fixed-depth searches of the bench positions, each with a fresh table and history
// and without book or bitbases. With one thread its node count at BENCH_DEPTH is the engine's
// behavioural signature. Run by "orbelin bench" and "orbelin-tool bench" instead of the engine's
// start-up, on the calling thread.
#include <cstdint>

namespace orbelin {

// The depth the bench searches when none is given.
constexpr int BENCH_DEPTH = 8;

struct BenchResult {
    std::uint64_t nodes;
    double seconds;
};

// Searches every bench position to the depth with the threads and a table of hash_mb MB,
// printing "position <i> nodes <n>  <fen>" for each; answers the totals. The tables must be
// built (init_tables) and nothing else of the engine started; leaves nothing allocated.
BenchResult bench_run(int depth, int threads, int hash_mb);

} // namespace orbelin
