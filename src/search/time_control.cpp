// Time budget, the search thread and its one-shot timer on the main loop.
#include "base/options.h"
#include "search/search.h"

#include <algorithm>
#include <atomic>
#include <glib.h>

namespace orbelin {

namespace {

// The pending timer of the running search. The search thread arms and removes it; the main
// loop fires it. Keeping a reference to the source (not its id) makes removal safe even when
// the timer has just fired.
std::atomic<GSource*> timer_source{nullptr};

void arm_timer(std::uint32_t ms) {
    if (timer_source.load() != nullptr)
        g_log(nullptr, G_LOG_LEVEL_ERROR, "Timer is alredy in use!\n"); // message text kept as is
    GSource* source = g_timeout_source_new(ms);
    g_source_set_callback(source, stop_search, nullptr, nullptr);
    timer_source.store(source);
    g_source_attach(source, nullptr);
}

void cancel_timer() {
    if (GSource* source = timer_source.exchange(nullptr)) {
        g_source_destroy(source);
        g_source_unref(source);
    }
}

gpointer search_thread_main(gpointer data) {
    auto* pos = static_cast<Position*>(data);
    if (budget_ms != 0) arm_timer(budget_ms);
    think(*pos, node_limit, depth_limit);
    cancel_timer();
    g_free(pos);
    search_active.store(false, std::memory_order_relaxed);
    return nullptr;
}

} // namespace

std::uint32_t time_budget(const Position& pos, const SearchLimits& limits) {
    if (limits.movetime != 0) return limits.movetime;
    const std::uint64_t m     = limits.movestogo != 0 ? limits.movestogo : 40;
    const bool white          = pos.side == WHITE;
    const std::uint64_t clock = white ? limits.wtime : limits.btime;
    // The time a move takes to reach the interface comes off the clock before it is shared out.
    const std::uint64_t overhead = std::uint64_t(std::max(option_move_overhead, 0));
    const std::uint64_t t        = clock > overhead ? clock - overhead : 0;
    const std::uint64_t i        = white ? limits.winc : limits.binc;
    const std::uint64_t t_other  = white ? limits.btime : limits.wtime;
    const std::uint64_t i_other  = white ? limits.binc : limits.winc;
    const std::uint64_t own = (t + (m - 1) * i) / m, opp = (t_other + (m - 1) * i_other) / m;
    // A clock share near 2^32 scaled by 1.3 does not fit 32 bits: the products are capped before
    // they are truncated to whole milliseconds.
    auto scaled = [](std::uint64_t share) {
        return double(std::uint32_t(std::min(double(share) * 1.3, 4294967295.0)));
    };
    const double a         = scaled(own);
    const double b         = scaled(opp);
    double product         = b == 0 ? 2147483648.0 : a * (a / b);
    std::uint64_t estimate = product > 2147483647.0 ? 2147483648u : std::uint64_t(product);
    // The estimate counts the increments still to come, so with a short clock it can reach
    // nearly all of it; half the clock stays in reserve against the interface's lag.
    std::uint64_t budget = (t >= estimate && m > 10) ? std::min(estimate, t / 2)
                                                     : std::uint64_t(double(t) * 0.95 / double(m));
    // However few moves are to go, min(T / 2, 100 ms) of the clock T and the move overhead stay
    // for the interface's lag; a budget that rounds to nothing is one millisecond, not the whole
    // clock.
    const std::uint64_t reserve = std::min<std::uint64_t>(clock / 2, 100) + overhead;
    budget                      = clock > reserve ? std::min(budget, clock - reserve) : 0;
    return std::uint32_t(std::max<std::uint64_t>(budget, clock > 0 ? 1 : 0));
}

void start_search(const Position& pos, SearchLimits limits) {
    stop_flag.store(0, std::memory_order_relaxed);
    abort_flag.store(0, std::memory_order_relaxed);
    node_limit         = limits.nodes != 0 ? limits.nodes : ~std::uint64_t(0);
    mate_limit         = limits.mate;
    mate_answers       = limits.mate != 0 && !limits.infinite;
    search_moves_count = limits.searchmoves_count;
    std::copy(limits.searchmoves, limits.searchmoves + limits.searchmoves_count, search_moves);
    if (limits.movestogo == 0) limits.movestogo = 40;
    budget_ms = time_budget(pos, limits);
    if (limits.infinite)
        depth_limit = 40;
    else if (limits.depth != 0)
        depth_limit = std::min(limits.depth, MAX_DEPTH);
    else if (budget_ms != 0 || limits.nodes != 0 || limits.mate != 0)
        depth_limit = 40;
    else
        depth_limit = 1;
    // The search works on its own copy: "position" may change the current one meanwhile.
    Position* copy = g_new(Position, 1);
    *copy          = pos;
    search_active.store(true, std::memory_order_relaxed);
    search_thread = g_thread_new("search", search_thread_main, copy);
}

gboolean stop_search(gpointer) {
    stop_flag.store(1, std::memory_order_relaxed);
    // A ponder or infinite search that has stopped holds its answer until the interface
    // speaks: the timer must not wait for it.
    if (!pondering.load(std::memory_order_relaxed) &&
        !infinite_search.load(std::memory_order_relaxed) && search_thread != nullptr) {
        g_thread_join(search_thread);
        search_thread = nullptr;
    }
    return FALSE;
}

void search_finish() {
    pondering.store(0, std::memory_order_relaxed);
    infinite_search.store(0, std::memory_order_relaxed);
    stop_search();
}

} // namespace orbelin
