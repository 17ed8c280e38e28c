#pragma once
// The search: driver, tree search, quiescence, time control. Flags and counters are shared by
// the main thread, the search thread and worker threads as relaxed atomics.
#include "board/position.h"
#include "moves/picker.h"

#include <atomic>
#include <cstdint>
#include <glib.h>

namespace orbelin {

constexpr int MATE = 30000; // a side mated at ply p scores p - MATE
// The deepest iteration "go depth" may ask for; extensions stay within MAX_PLY.
constexpr std::uint32_t MAX_DEPTH = 64;

// A shared word alone on its cache line (the type is padded to the line): every searching
// thread writes the node counter and reads the flags at every node, and a write to a line makes
// every other core fetch it again, so a written word next to words read at every node would
// slow every reader. Used exactly as the std::atomic it is.
template <class T> struct alignas(64) CacheLineAtomic : std::atomic<T> {
    using std::atomic<T>::atomic;
};
static_assert(sizeof(CacheLineAtomic<std::uint64_t>) == 64);

// Raised by the main thread ("stop", the timer, "go", "quit") and polled by every node of every
// searching thread; honoured only while pondering is 0. Relaxed is enough: a node that still
// sees the old value stops at its next test.
inline CacheLineAtomic<int> stop_flag{0};
// 1 while the running search is a ponder search; set by "go ponder", cleared by "ponderhit",
// "stop", a new "go" and "quit" (main thread); polled by the searchers.
inline CacheLineAtomic<int> pondering{0};
// 1 while the running search is an infinite one ("go infinite"): set by "go", cleared by
// "stop", a new "go" and "quit" (main thread). An infinite search is analysis: it never answers
// before "stop", whatever ended its deepening. Read by the search thread only at its end.
inline std::atomic<int> infinite_search{0};
// Raised by the coordinating search thread to call worker threads off; polled by every node.
inline CacheLineAtomic<int> abort_flag{0};
// Nodes of the current search: one counter per searching thread, each on a line of its own, so
// that counting a node writes no line another thread reads at every node; the figure is their
// sum. Slot 0 is the search thread's (and any thread that searches outside the pool), slot
// i + 1 worker i's. Each slot has one writer; relaxed loads and stores suffice.
constexpr int NODE_SLOTS = 17; // the search thread and up to 16 workers
inline CacheLineAtomic<std::uint64_t> node_counts[NODE_SLOTS];
inline thread_local constinit int node_slot = 0;

// A search with a node limit looks at the sum of the counts every node_check_mask + 1 nodes of
// each thread and raises stop_flag once it reaches search_node_limit, so that the search ends
// near the limit at any node, as the clock ends it. Without a limit the mask has every bit set
// and a count (never 0 after its increment) never matches. Set by think before its search
// starts; read by every searching thread.
inline std::uint64_t node_check_mask   = ~std::uint64_t(0);
inline std::uint64_t search_node_limit = ~std::uint64_t(0);
void node_limit_check();

inline void count_node() {
    CacheLineAtomic<std::uint64_t>& count = node_counts[node_slot];
    const std::uint64_t n                 = count.load(std::memory_order_relaxed) + 1;
    count.store(n, std::memory_order_relaxed);
    if ((n & node_check_mask) == 0) node_limit_check();
}
// The nodes of the current search so far, all threads together.
inline std::uint64_t nodes_searched() {
    std::uint64_t sum = 0;
    for (const auto& count : node_counts)
        sum += count.load(std::memory_order_relaxed);
    return sum;
}
// Sets every thread's count to 0; while no search runs.
inline void nodes_reset() {
    for (auto& count : node_counts)
        count.store(0, std::memory_order_relaxed);
}

// The deepest ply quiescence reached in the current search, reset by think; lost updates
// between threads are tolerated.
inline CacheLineAtomic<std::uint32_t> seldepth{0};
// True when the node must return at once.
inline bool search_stopped() {
    return (stop_flag.load(std::memory_order_relaxed) &&
            !pondering.load(std::memory_order_relaxed)) ||
           abort_flag.load(std::memory_order_relaxed);
}

// The limits of one "go"; times in milliseconds.
struct SearchLimits {
    std::uint32_t depth;
    std::uint64_t nodes;
    std::uint32_t movestogo;
    std::uint32_t wtime;
    std::uint32_t winc;
    std::uint32_t btime;
    std::uint32_t binc;
    std::uint32_t movetime;
    std::uint32_t infinite;
    std::uint32_t mate; // "mate N": stop once a mate in at most N moves is found; 0 none
    // "searchmoves": the listed moves that are legal in the position, in the order given.
    std::uint32_t searchmoves_count;
    Move searchmoves[MOVELIST_SIZE];
};

// Fixed by start_search on the main thread before the search thread starts.
inline std::uint32_t budget_ms   = 0;
inline std::uint32_t depth_limit = 1;
inline std::uint64_t node_limit  = ~std::uint64_t(0);
// "go mate N": the search ends once it has found a mate in at most mate_limit moves for the
// side to move (0: no such limit). A mate search without other limits is held like an infinite
// one when it finds no such mate; mate_answers lets a mate found answer at once all the same
// (not with "go infinite", which is analysis). Fixed before the search thread starts.
inline std::uint32_t mate_limit = 0;
inline bool mate_answers        = false;
// The root moves the search is restricted to ("searchmoves"), none for all; the number of
// variations root_search keeps (the MultiPV value, at most the number of root moves, or more
// at a limited strength, which chooses among them); and the number of them it prints (the
// MultiPV value). The first is fixed by start_search before the search thread starts, the
// others by think before its search.
inline std::uint32_t search_moves_count = 0;
inline Move search_moves[MOVELIST_SIZE];
inline int search_multipv = 1;
inline int report_multipv = 1;
// The running (or finished, not yet waited for) search thread; main thread only.
inline GThread* search_thread = nullptr;
// True from start_search until the search thread has printed its answer and is about to end:
// set by the main thread, cleared by the search thread. Relaxed: a reader that still sees true
// looks again later.
inline std::atomic<bool> search_active{false};

// One search of the position (which the caller's thread owns): trivial cases, book, iterative
// deepening; prints exactly one "bestmove" line (held back while pondering).
void think(Position& pos, std::uint64_t max_nodes, std::uint32_t max_depth);
// One iteration over the root moves at the given depth; the results are in the list.
void root_search(Position& pos, RootMoveList& list, int depth);
// Records a result in entry index and lifts the entry above every entry with a lower score;
// answers its new index.
int root_reposition(RootMoveList& list, int index, int score, int depth);
// Fail-soft principal variation search below the root.
int pv_search(Position& pos, int alpha, int beta, int depth, int ply, int null_allowed);
// Captures-only search with stand pat.
int quiescence(Position& pos, int alpha, int beta, int ply);

// The time budget in milliseconds for the side to move.
std::uint32_t time_budget(const Position& pos, const SearchLimits& limits);
// Fixes the limits and starts the search thread on a copy of the position.
void start_search(const Position& pos, SearchLimits limits);
// Raises stop_flag and, unless pondering, waits for the search thread. As the timer's callback
// it answers FALSE so that it runs once.
gboolean stop_search(gpointer data = nullptr);
// Stops any search, pondering or not, and waits for its thread (new "go", "quit").
void search_finish();
// Restarted by every "go" (main thread, before the search thread starts); read by the search for
// its reports. Created at start-up.
inline GTimer* elapsed_timer = nullptr;
// Seconds since the last "go".
double elapsed_seconds();
// The moves to the mate a root score announces: positive when the root side mates, negative
// when it is mated, 0 for a score that is no mate.
int mate_moves(int score, int root_side);

} // namespace orbelin
