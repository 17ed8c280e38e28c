// orbelin-tool bench: the engine's bench with a choice of depth, threads and table size.
#include "uci/bench.h"
#include "eval/pawns.h"
#include "search/search.h"
#include "tool.h"

#include <cstdio>
#include <cstdlib>

namespace orbelin {

int command_bench(int argc, char** argv) {
    int depth   = argc > 2 ? std::atoi(argv[2]) : BENCH_DEPTH;
    int threads = argc > 3 ? std::atoi(argv[3]) : 1;
    int hash_mb = argc > 4 ? std::atoi(argv[4]) : 16;
    if (depth < 1 || depth > int(MAX_DEPTH) || threads < 1 || threads > 16 || hash_mb < 1 ||
        hash_mb > 4096) {
        std::fprintf(stderr, "usage: orbelin-tool bench [<depth> [<threads> [<hash_mb>]]]\n");
        return 2;
    }
    BenchResult result = bench_run(depth, threads, hash_mb);
    std::printf("bench nodes %llu time_ms %llu nps %llu\n",
                static_cast<unsigned long long>(result.nodes),
                static_cast<unsigned long long>(result.seconds * 1000),
                static_cast<unsigned long long>(
                    result.seconds > 0 ? double(result.nodes) / result.seconds : 0));
#ifdef ORBELIN_STATS
    std::uint64_t probes = pawn_hash_probes.load(), hits = pawn_hash_hits.load();
    std::printf("pawn hash probes %llu hits %llu hit_rate %.2f%%\n",
                static_cast<unsigned long long>(probes), static_cast<unsigned long long>(hits),
                probes > 0 ? 100.0 * double(hits) / double(probes) : 0.0);
#endif
    return 0;
}

} // namespace orbelin
