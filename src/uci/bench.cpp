// The bench: the positions of bench_positions.h searched one after another to a fixed depth.
#include "uci/bench.h"

#include "base/options.h"
#include "base/output.h"
#include "board/fen.h"
#include "eval/pawns.h"
#include "moves/generate.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/tt.h"
#include "uci/bench_positions.h"

#include <cstdio>
#include <glib.h>

namespace orbelin {

BenchResult bench_run(int depth, int threads, int hash_mb) {
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
        position_set_fen(*pos, fen);
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
    BenchResult result{total, g_timer_elapsed(total_timer, nullptr)};
    workers_stop();
    position_free(pos);
    g_timer_destroy(total_timer);
    g_timer_destroy(elapsed_timer);
    elapsed_timer = nullptr;
    pawn_hash_free();
    tt_free();
    output_enabled = true;
    return result;
}

} // namespace orbelin
