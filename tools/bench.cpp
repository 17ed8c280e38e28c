// orbelin-tool bench: fixed-depth searches of the bench positions, one fresh table each.
#include "base/options.h"
#include "base/output.h"
#include "bench_positions.h"
#include "board/fen.h"
#include "eval/pawns.h"
#include "moves/generate.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/tt.h"
#include "tool.h"
#include "uci/uci.h"

#include <cstdio>
#include <cstdlib>
#include <glib.h>

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
    option_hash     = hash_mb;
    option_threads  = threads;
    option_own_book = 0;
    option_multipv  = 1;
    output_enabled  = false;
    tt_alloc();
    pawn_hash_alloc();
    workers_start(); // nothing with one thread
    elapsed_timer       = g_timer_new();
    GTimer* total_timer = g_timer_new();
    Position* pos       = position_new();

    std::uint64_t total = 0;
    int index           = 0;
    for (const char* fen : BENCH_POSITIONS) {
        index++;
        if (!position_set_fen(*pos, fen)) return 2;
        tt_clear();
        history_clear();
        stop_flag.store(0);
        g_timer_start(elapsed_timer);
        think(*pos, ~std::uint64_t(0), std::uint32_t(depth));
        std::uint64_t n = nodes_searched();
        total += n;
        std::printf("position %2d nodes %10llu  %s\n", index, static_cast<unsigned long long>(n),
                    fen);
    }
    double seconds = g_timer_elapsed(total_timer, nullptr);
    std::printf("bench nodes %llu time_ms %llu nps %llu\n", static_cast<unsigned long long>(total),
                static_cast<unsigned long long>(seconds * 1000),
                static_cast<unsigned long long>(seconds > 0 ? double(total) / seconds : 0));
#ifdef ORBELIN_STATS
    std::uint64_t probes = pawn_hash_probes.load(), hits = pawn_hash_hits.load();
    std::printf("pawn hash probes %llu hits %llu hit_rate %.2f%%\n",
                static_cast<unsigned long long>(probes), static_cast<unsigned long long>(hits),
                probes > 0 ? 100.0 * double(hits) / double(probes) : 0.0);
#endif
    workers_stop();
    position_free(pos);
    g_timer_destroy(total_timer);
    g_timer_destroy(elapsed_timer);
    elapsed_timer = nullptr;
    pawn_hash_free();
    tt_free();
    return 0;
}

} // namespace orbelin
