// Parallel search: the worker pool and its two queues (main thread), the workers' loop (worker
// threads) and the coordinating search (search thread), which hands moves out and takes them back.
#include "search/parallel.h"

#include "search/node.h"

#include "base/options.h"
#include "board/attacks.h"
#include "moves/generate.h"
#include "moves/make.h"
#include "search/search.h"
#include "search/tt.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>

#if defined(__SANITIZE_THREAD__)
#define ORBELIN_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORBELIN_TSAN 1
#endif
#endif
#ifdef ORBELIN_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace orbelin {

namespace {

// The worker threads, worker_count of them; main thread only.
GThread** worker_threads = nullptr;

// An item changes hands only through a queue, whose lock orders the writes of the poster before
// the reads of the taker. The queue's lock is invisible to ThreadSanitizer, so a sanitized build
// tells it about that order here; other builds do nothing.
inline void item_handed_over([[maybe_unused]] WorkItem* item) {
#ifdef ORBELIN_TSAN
    __tsan_release(item);
#endif
}
inline void item_taken_over([[maybe_unused]] WorkItem* item) {
#ifdef ORBELIN_TSAN
    __tsan_acquire(item);
#endif
}

// Fills in the search of an item whose position is in place and hands it to the workers.
void send(WorkItem* item, int alpha, int beta, int depth, int ply, Move move, std::uint32_t tag) {
    item->kind         = WORK_SEARCH;
    item->alpha        = alpha;
    item->beta         = beta;
    item->depth        = depth;
    item->ply          = ply;
    item->null_allowed = 1;
    item->move         = move;
    item->result       = 0;
    item->tag          = tag;
    item_handed_over(item);
    g_async_queue_push(work_queue, item);
}

// Posts the search of the position reached by the move just made on pos (the caller unmakes).
// The item gets the position without the history no search below it can read: a few hundred
// bytes instead of the whole 57 KB stack.
void post(const Position& pos, int alpha, int beta, int depth, int ply, Move move,
          std::uint32_t tag) {
    auto* item = static_cast<WorkItem*>(g_malloc(sizeof(WorkItem)));
    work_copy_position(item->position, pos);
    send(item, alpha, beta, depth, ply, move, tag);
}

// One returned search seen from the node: its move, the node's alpha when it was first posted
// (a0, from the posted null window -a0 - 1), the score from the node's side and its tag.
struct WorkResult {
    Move move;
    int a0;
    int score;
    std::uint32_t tag;
};

// Reads a returned item and releases it.
WorkResult take_item(WorkItem* item) {
    item_taken_over(item);
    WorkResult r{item->move, -item->alpha - 1, -item->result, item->tag};
    g_free(item);
    return r;
}

} // namespace

void work_copy_position(Position& to, const Position& from) {
    std::memcpy(static_cast<void*>(&to), &from, offsetof(Position, history));
    const int kept = std::clamp(from.static_moves, 0, from.ply);
    std::memcpy(static_cast<void*>(to.history + (from.ply - kept)),
                from.history + (from.ply - kept), sizeof(HistoryEntry) * std::size_t(kept));
}

void workers_start() {
    if (option_threads <= 1 || worker_count != 0) return;
    work_queue   = g_async_queue_new();
    result_queue = g_async_queue_new();
    assert(option_threads < NODE_SLOTS); // the option stops at 16
    worker_threads = g_new(GThread*, option_threads);
    worker_count   = option_threads;
    for (int i = 0; i < worker_count; i++)
        worker_threads[i] = g_thread_new("worker", worker_main, GINT_TO_POINTER(i + 1));
}

void workers_stop() {
    stop_flag.store(1, std::memory_order_relaxed);
    // The count of the workers that run, whatever the option says by now.
    if (worker_count == 0) return;
    auto* quit = static_cast<WorkItem*>(g_malloc(sizeof(WorkItem)));
    quit->kind = WORK_QUIT;
    item_handed_over(quit);
    for (int i = 0; i < worker_count; i++)
        g_async_queue_push(work_queue, quit);
    for (int i = 0; i < worker_count; i++)
        g_thread_join(worker_threads[i]);
    g_free(quit);
    g_free(worker_threads);
    worker_threads = nullptr;
    g_async_queue_unref(work_queue);
    g_async_queue_unref(result_queue);
    work_queue   = nullptr;
    result_queue = nullptr;
    worker_count = 0;
}

gpointer worker_main(gpointer slot) {
    node_slot = GPOINTER_TO_INT(slot);
    for (;;) {
        auto* item = static_cast<WorkItem*>(g_async_queue_pop(work_queue));
        item_taken_over(item);
        switch (item->kind) {
        case WORK_QUIT:
            return nullptr;
        case WORK_SEARCH:
            item->result = pv_search(item->position, item->alpha, item->beta, item->depth,
                                     item->ply, item->null_allowed);
            item_handed_over(item);
            g_async_queue_push(result_queue, item);
            results_waiting.fetch_add(1, std::memory_order_relaxed);
            break;
        default:
            g_log(nullptr, G_LOG_LEVEL_ERROR, "Thread message is wrong! (%u)\n",
                  item->kind); // message text kept as is
            return nullptr;
        }
    }
}

namespace {

// Below this depth a node is searched serially: its moves are cheaper to search than to hand
// over (posting copies the position through two queues and wakes a thread), and this thread
// looks for free workers at every node from this depth up.
constexpr int SPLIT_DEPTH = 4;

// Results a node can hold back, and so items it may have out and results held together.
constexpr int SPLIT_RESULTS = 32;

// A node that hands moves out, while it searches its moves. Its items may still be out while
// this thread searches one of its moves itself, further down: then results can come back
// while a node below runs, and are kept in the node's list until it gets to them, and a
// worker that comes free gets the next move of the node nearest the root that has one left.
struct SplitNode {
    Position& pos;
    const NodeStart& n;
    MoveList& list;
    int alpha, beta, depth, ply;
    Move best_move;
    int counter;      // moves taken, as in the serial move loop
    int pos_ply;      // the position's history index at this node
    int history_from; // the first history entry a search from this node can read
    int out;          // items posted and not yet taken from the result queue
    bool exhausted;   // the move list has no move left
    int kept;         // results taken from the queue by a node below, waiting in results
    WorkResult results[SPLIT_RESULTS];
};

// The coordinating search's own state (search thread only): the nodes with items out, by ply
// (an item's ply is its node's ply + 1), and the number of items out in all. This thread
// searches as well, so one worker fewer than there are is handed work: "Threads" N keeps N
// threads searching.
SplitNode* split_nodes[MAX_PLY];
int items_out = 0;

int items_allowed() { return worker_count - 1; }

bool stopping() {
    return stop_flag.load(std::memory_order_relaxed) && !pondering.load(std::memory_order_relaxed);
}

void post_move(SplitNode& s, int alpha, int beta, int depth, Move move, std::uint32_t tag) {
    post(s.pos, alpha, beta, depth, s.ply + 1, move, tag);
    s.out++;
    items_out++;
}

// Posts the next move of node a, this thread being at the position here (a's or one below
// it): the item gets this thread's position, taken back to a's. Late quiet moves are posted
// reduced, the rest at full depth, all with the null window above a's alpha; moves futility
// prunes are counted and skipped. False when a has no move left.
bool post_next(SplitNode& a, const Position& here) {
    auto* item  = static_cast<WorkItem*>(g_malloc(sizeof(WorkItem)));
    Position& p = item->position;
    std::memcpy(static_cast<void*>(&p), &here, offsetof(Position, history));
    std::memcpy(static_cast<void*>(p.history + a.history_from), here.history + a.history_from,
                sizeof(HistoryEntry) * std::size_t(here.ply - a.history_from));
    while (p.ply > a.pos_ply)
        unmake_move(p);
    for (;;) {
        Move move = next_move(p, a.list);
        if (move == 0) {
            a.exhausted = true;
            g_free(item);
            return false;
        }
        const int counter = a.counter++;
        if (futile(p, a.n, a.alpha)) {
            unmake_move(p);
            continue;
        }
        if (counter >= 4 && a.depth > 3 && !a.n.extended && p.extend == 0)
            send(item, -a.alpha - 1, -a.alpha, a.depth - 2, a.ply + 1, move, WORK_TAG_REDUCED);
        else
            send(item, -a.alpha - 1, -a.alpha, a.depth - 1, a.ply + 1, move, WORK_TAG_NULL_WINDOW);
        a.out++;
        items_out++;
        return true;
    }
}

// Hands moves to the free workers from the nodes up to the given ply, nearest the root first
// (their moves are the largest pieces of work), this thread being at the position here.
void post_free(const Position& here, int last_ply) {
    for (int ply = 0; ply <= last_ply && items_out < items_allowed(); ply++) {
        SplitNode* a = split_nodes[ply];
        // A node's results wait in its list until it runs again: it posts no more than the
        // list holds.
        while (a != nullptr && !a->exhausted && items_out < items_allowed() &&
               a->out + a->kept < SPLIT_RESULTS)
            post_next(*a, here);
    }
}

// Takes results from the result queue, waiting for one when wait is set, until one of node s's
// own comes back (true, in r); a result for another node goes to that node's list. Without
// wait, false once the queue is empty (always, when s is none).
bool receive(SplitNode* s, bool wait, WorkResult& r) {
    for (;;) {
        void* data = wait ? g_async_queue_pop(result_queue) : g_async_queue_try_pop(result_queue);
        if (data == nullptr) return false;
        results_waiting.fetch_sub(1, std::memory_order_relaxed);
        auto* item      = static_cast<WorkItem*>(data);
        SplitNode* node = split_nodes[item->ply - 1];
        assert(node != nullptr && node->out > 0);
        WorkResult taken = take_item(item);
        items_out--;
        node->out--;
        if (node == s) {
            r = taken;
            return true;
        }
        assert(node->kept < SPLIT_RESULTS);
        node->results[node->kept++] = taken;
    }
}

// Waits until every item of the node is back; their results, and those it held, are dropped.
void drain(SplitNode& s) {
    WorkResult r;
    while (s.out > 0)
        receive(&s, true, r);
    s.kept = 0;
}

// A cut-off by the move. The node's searches still out are called off when nothing else is out
// (abort_flag reaches every worker), else left to end; either way the node waits until each
// item is back, so that no worker still searches or stores for it. Then the move's history and
// the bound.
int cut_off(SplitNode& s, Move move, int score, bool quiet) {
    if (s.out > 0 && s.out == items_out) {
        abort_flag.store(1, std::memory_order_relaxed);
        drain(s);
        abort_flag.store(0, std::memory_order_relaxed);
    }
    drain(s);
    if (quiet) history_raise(move, s.depth);
    tt_store(s.n.slot, s.pos.key, s.depth, tt_score_to_table(score, s.ply), TT_LOWER, move);
    return score;
}

// Acts on a returned search: a reduced search above the first alpha is searched again at full
// depth, a full-depth null-window search inside the window with the window from the first
// alpha; any other score is final. A search again goes to a free worker or, when none is
// free, is done here. Answers true on a cut-off, with the node's score in score.
bool settle(SplitNode& s, WorkResult r, int& score) {
    for (;;) {
        int alpha = 0, beta = 0;
        std::uint32_t tag;
        if (r.tag == WORK_TAG_REDUCED && r.score > r.a0) {
            alpha = -r.a0 - 1, beta = -r.a0, tag = WORK_TAG_NULL_WINDOW;
        } else if (r.tag == WORK_TAG_NULL_WINDOW && r.a0 < r.score && r.score < s.beta) {
            alpha = -s.beta, beta = -r.a0, tag = WORK_TAG_FULL_WINDOW;
        } else {
            if (r.score > s.alpha) {
                if (r.score >= s.beta) {
                    score = cut_off(s, r.move, r.score, move_type(r.move) == MOVE_QUIET);
                    return true;
                }
                s.best_move = r.move;
                s.alpha     = r.score;
            }
            return false;
        }
        [[maybe_unused]] int made = make_move(s.pos, r.move);
        assert(made);
        if (items_out < items_allowed()) {
            post_move(s, alpha, beta, s.depth - 1, r.move, tag);
            unmake_move(s.pos);
            return false;
        }
        r.score = -parallel_search(s.pos, alpha, beta, s.depth - 1, s.ply + 1, 1);
        r.tag   = tag;
        unmake_move(s.pos);
    }
}

// Searches the move just made on the position here, as the serial move loop does: a reduced
// null-window search for a late quiet move, the null window, the full window inside it.
// Unmakes the move.
int search_here(SplitNode& s, int counter) {
    Position& pos = s.pos;
    assert(pos.ply == s.pos_ply + 1);
    int score;
    if (counter >= 4 && s.depth >= 4 && !s.n.extended && pos.extend == 0) {
        score = -parallel_search(pos, -s.alpha - 1, -s.alpha, s.depth - 2, s.ply + 1, 1);
        if (score <= s.alpha) {
            unmake_move(pos);
            return score;
        }
    }
    score = -parallel_search(pos, -s.alpha - 1, -s.alpha, s.depth - 1, s.ply + 1, 1);
    if (score > s.alpha && score < s.beta)
        score = -parallel_search(pos, -s.beta, -s.alpha, s.depth - 1, s.ply + 1, 1);
    unmake_move(pos);
    return score;
}

// The moves after the first. Free workers get the next moves (of this node or of one further
// up); when none is free this thread searches the next move itself, handing work out further
// down as workers come free. Results are used as they come back; once the list is exhausted
// the node waits for those still out. Answers the node's score.
int distribute(SplitNode& s) {
    Position& pos      = s.pos;
    MoveList& list     = s.list;
    const NodeStart& n = s.n;
    int score;
    WorkResult r;
    for (;;) {
        if (stopping()) {
            drain(s);
            return 0;
        }
        // Results held for this node, then those in the queue (the results of nodes further
        // up are put aside, and their workers are free for this one).
        if (s.kept > 0) {
            if (settle(s, s.results[--s.kept], score)) return score;
            continue;
        }
        if (items_out > 0 && receive(&s, false, r)) {
            if (settle(s, r, score)) return score;
            continue;
        }
        post_free(pos, s.ply);
        if (!s.exhausted) {
            // Every worker is busy: the next move is searched here.
            Move move = next_move(pos, list);
            if (move == 0) {
                s.exhausted = true;
                continue;
            }
            const bool quiet  = list.stage == 1;
            const int counter = s.counter++;
            if (futile(pos, n, s.alpha)) {
                unmake_move(pos);
            } else {
                score = search_here(s, counter);
                if (score > s.alpha) {
                    if (score >= s.beta) return cut_off(s, move, score, quiet);
                    s.best_move = move;
                    s.alpha     = score;
                }
            }
            continue;
        }
        if (s.out == 0) break;
        receive(&s, true, r);
        if (settle(s, r, score)) return score;
    }
    // No move taken: mate or stalemate; otherwise exact with a best move, else a bound.
    return node_finish(pos, n, s.alpha, s.best_move, s.counter, s.ply);
}

} // namespace

void collect_results(const Position& pos, int ply) {
    WorkResult r;
    receive(nullptr, false, r);
    post_free(pos, ply - 1);
}

int parallel_search(Position& pos, int alpha, int beta, int depth, int ply, int null_allowed) {
    // Without workers (none were started), near the leaves, and far from the root, the serial
    // search does it all.
    if (worker_count == 0 || depth < SPLIT_DEPTH || ply >= MAX_PLY)
        return pv_search(pos, alpha, beta, depth, ply, null_allowed);
    coordinating = true;

    // Workers that have come free since a node further up last looked get its next moves.
    if (items_out > 0) {
        WorkResult r;
        receive(nullptr, false, r);
        post_free(pos, ply - 1);
    }

    // Stop test (abort_flag is only ever raised while this thread drains); then the node's
    // opening steps, as in the serial search.
    if (stopping()) return 0;
    NodeStart n;
    int score;
    if (node_start<parallel_search>(pos, alpha, beta, depth, ply, null_allowed, n, score))
        return score;
    alpha          = n.alpha;
    beta           = n.beta;
    depth          = n.depth;
    Move best_move = n.best_move;

    // The first move, on this thread: the hash move (made directly) or the picker's first.
    MoveList list;
    list.stage = 0;
    Move move  = 0;
    if (n.hash_move != 0 && make_move(pos, n.hash_move))
        move = n.hash_move;
    else
        move = next_move(pos, list);
    if (move == 0) return node_finish(pos, n, alpha, best_move, 0, ply);
    if (futile(pos, n, alpha)) {
        unmake_move(pos);
    } else {
        score = -parallel_search(pos, -beta, -alpha, depth - 1, ply + 1, 1);
        unmake_move(pos);
        if (score > alpha) {
            if (score >= beta) {
                if (list.stage == 1) history_raise(move, depth);
                tt_store(n.slot, pos.key, depth, tt_score_to_table(score, ply), TT_LOWER, move);
                return score;
            }
            best_move = move;
            alpha     = score;
        }
    }

    // The other moves, with the workers.
    const int kept = std::clamp(pos.static_moves, 0, pos.ply);
    SplitNode s{pos, n,       list,           alpha, beta,  depth, ply, best_move,
                1,   pos.ply, pos.ply - kept, 0,     false, 0,     {}};
    split_nodes[ply] = &s;
    score            = distribute(s);
    split_nodes[ply] = nullptr;
    return score;
}

} // namespace orbelin
