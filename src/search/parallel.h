#pragma once
// Parallel search: worker threads fed through a work queue and answering on a result queue.
// Only the search thread posts work; the workers run the serial search on their own copies.
#include "board/position.h"
#include "search/search.h"

#include <cstdint>
#include <glib.h>
#include <type_traits>

namespace orbelin {

constexpr std::uint32_t WORK_QUIT   = 0; // the worker ends; the item belongs to the stopper
constexpr std::uint32_t WORK_SEARCH = 1; // the worker searches the item and hands it back

// Which search of a move an item carries; a result may ask for the next one.
constexpr std::uint32_t WORK_TAG_REDUCED     = 0; // null window, two plies less
constexpr std::uint32_t WORK_TAG_NULL_WINDOW = 1; // null window, full depth
constexpr std::uint32_t WORK_TAG_FULL_WINDOW = 2; // the node's window above the first alpha

// One posted search, allocated by the poster and released by whoever takes the result. The
// position is the node's position with the move made; of its history stack only the entries
// since the last irreversible move are filled (nothing below the item's ply reads the rest).
// alpha to null_allowed are the child's arguments to pv_search; result is its score.
struct WorkItem {
    std::uint32_t kind;
    Position position;
    std::int32_t alpha;
    std::int32_t beta;
    std::int32_t depth;
    std::int32_t ply;
    std::int32_t null_allowed;
    Move move;
    std::int32_t result;
    std::uint32_t tag;
};
static_assert(std::is_trivially_copyable_v<WorkItem>);

// The queues, and the number of workers reading them (0 when none runs). Created and released
// by the main thread (start-up, "setoption", "quit") while no search runs; used by the search
// thread and the workers, which start after. The queues are the only locks of the search.
inline GAsyncQueue* work_queue   = nullptr;
inline GAsyncQueue* result_queue = nullptr;
inline int worker_count          = 0;

// Results pushed by the workers and not yet taken by the search thread, on a line of its own:
// the workers add to it, and the search thread reads it at its serial nodes and takes from it.
// 0 throughout a search without workers.
inline CacheLineAtomic<int> results_waiting{0};
// True on the thread that runs parallel_search, which alone hands out and takes back work.
inline thread_local bool coordinating = false;

// Starts option_threads workers and their two queues; nothing when the option is 1.
// Main thread, while no search runs.
void workers_start();
// Raises stop_flag, ends the workers and releases the queues. Main thread, no search running.
void workers_stop();
// A worker's body: searches the items of work_queue until it takes a quit item, counting its
// nodes in node slot GPOINTER_TO_INT(slot).
gpointer worker_main(gpointer slot);
// The principal variation search with the moves after the first handed to the workers; same
// contract as pv_search. Runs on the search thread only.
int parallel_search(Position& pos, int alpha, int beta, int depth, int ply, int null_allowed);

// Takes the results that have come back and hands their workers the next moves of the nodes
// above ply, the search thread being at pos: called from the serial search's nodes when
// results wait, so that a worker that is done does not wait for this thread to get back up
// to a node that hands out work. Search thread only.
void collect_results(const Position& pos, int ply);

// Copies into `to` every field of the position and, of its history stack, the entries a search
// from it can read: repetition tests look back at most static_moves plies, and a search only
// unmakes its own moves. The other history entries of `to` are left as they were.
void work_copy_position(Position& to, const Position& from);

} // namespace orbelin
