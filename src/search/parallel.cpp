// Parallel search: the worker pool and its two queues (main thread), the workers' loop (worker
// threads) and the coordinating search (search thread), which hands moves out and takes them back.
#include "search/parallel.h"

#include "search/node.h"

#include "board/attacks.h"
#include "moves/generate.h"
#include "moves/make.h"
#include "search/search.h"
#include "search/tt.h"
#include "uci/options.h"

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

// Posts the search of the position reached by the move just made on pos (the caller unmakes).
// The item gets the position without the history no search below it can read: a few hundred
// bytes instead of the whole 57 KB stack.
void post(const Position& pos, int alpha, int beta, int depth, int ply, Move move,
          std::uint32_t tag) {
    auto* item = static_cast<WorkItem*>(g_malloc(sizeof(WorkItem)));
    item->kind = WORK_SEARCH;
    work_copy_position(item->position, pos);
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

// Makes the move again on pos and posts it; the move was legal when it was first posted.
void repost(Position& pos, int alpha, int beta, int depth, int ply, Move move, std::uint32_t tag) {
    [[maybe_unused]] int made = make_move(pos, move);
    assert(made);
    post(pos, alpha, beta, depth, ply, move, tag);
    unmake_move(pos);
}

// One returned search seen from the node: its move, the node's alpha when it was first posted
// (a0, from the posted null window -a0 - 1), the score from the node's side and its tag.
struct WorkResult {
    Move move;
    int a0;
    int score;
    std::uint32_t tag;
};

// Waits for the next result and releases its item.
WorkResult take_result() {
    auto* item = static_cast<WorkItem*>(g_async_queue_pop(result_queue));
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
    work_queue     = g_async_queue_new();
    result_queue   = g_async_queue_new();
    worker_threads = g_new(GThread*, option_threads);
    worker_count   = option_threads;
    for (int i = 0; i < worker_count; i++)
        worker_threads[i] = g_thread_new("worker", worker_main, nullptr);
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

gpointer worker_main(gpointer) {
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
            break;
        default:
            g_log(nullptr, G_LOG_LEVEL_ERROR, "Thread message is wrong! (%u)\n",
                  item->kind); // message text kept as is
            return nullptr;
        }
    }
}

int parallel_search(Position& pos, int alpha, int beta, int depth, int ply, int null_allowed) {
    // Without workers (none were started) the serial search does it all.
    if (worker_count == 0) return pv_search(pos, alpha, beta, depth, ply, null_allowed);

    // 1. Stop test (abort_flag is only ever raised while this thread drains); 2 to 10. the
    // node's opening steps, as in the serial search.
    if (stop_flag.load(std::memory_order_relaxed) && !pondering.load(std::memory_order_relaxed))
        return 0;
    NodeStart n;
    int score;
    if (node_start<parallel_search>(pos, alpha, beta, depth, ply, null_allowed, n, score))
        return score;
    alpha          = n.alpha;
    beta           = n.beta;
    depth          = n.depth;
    Move best_move = n.best_move;

    // 3. First move, on this thread: the hash move (made directly) or the picker's first.
    MoveList list;
    list.stage  = 0;
    int counter = 0;
    Move move   = 0;
    if (n.hash_move != 0 && make_move(pos, n.hash_move))
        move = n.hash_move;
    else
        move = next_move(pos, list);
    if (move != 0) {
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
        counter = 1;

        // 4. Distribution: at most worker_count items out; the queues are empty on entry,
        // since every node below this one drained what it posted.
        int free_workers = worker_count;
        for (;;) {
            // 4.1 Post moves while workers are free: late quiet moves reduced, the rest at full
            // depth, all with the null window above alpha.
            bool exhausted = false;
            while (free_workers > 0) {
                move = next_move(pos, list);
                if (move == 0) {
                    exhausted = true;
                    break;
                }
                if (futile(pos, n, alpha)) {
                    unmake_move(pos);
                    counter++;
                    continue;
                }
                if (counter >= 4 && depth > 3 && !n.extended && pos.extend == 0)
                    post(pos, -alpha - 1, -alpha, depth - 2, ply + 1, move, WORK_TAG_REDUCED);
                else
                    post(pos, -alpha - 1, -alpha, depth - 1, ply + 1, move, WORK_TAG_NULL_WINDOW);
                free_workers--;
                unmake_move(pos);
                counter++;
            }
            if (exhausted) break;

            // 4.2 Every worker is busy: take a result. A reduced search above the first alpha
            // is searched again at full depth; a full-depth null-window search inside the
            // window, with the window from the first alpha.
            WorkResult r = take_result();
            free_workers++;
            if (r.tag == WORK_TAG_REDUCED && r.score > r.a0) {
                repost(pos, -r.a0 - 1, -r.a0, depth - 1, ply + 1, r.move, WORK_TAG_NULL_WINDOW);
                free_workers--;
            } else if (r.tag == WORK_TAG_NULL_WINDOW && r.a0 < r.score && r.score < beta) {
                repost(pos, -beta, -r.a0, depth - 1, ply + 1, r.move, WORK_TAG_FULL_WINDOW);
                free_workers--;
            } else if (r.score > alpha) {
                if (r.score >= beta) {
                    // Cut-off: call the other searches off and wait until every item is back,
                    // so that no worker still searches (or stores) for this node.
                    abort_flag.store(1, std::memory_order_relaxed);
                    for (int out = worker_count - free_workers; out > 0; out--)
                        take_result();
                    abort_flag.store(0, std::memory_order_relaxed);
                    if (move_type(r.move) == MOVE_QUIET) history_raise(r.move, depth);
                    tt_store(n.slot, pos.key, depth, tt_score_to_table(r.score, ply), TT_LOWER,
                             r.move);
                    return r.score;
                }
                best_move = r.move;
                alpha     = r.score;
            }
        }

        // 5. Closing: the list is exhausted. Call the searches still out off, and take their
        // moves back, in the order they return, as the list's only remaining moves.
        abort_flag.store(1, std::memory_order_relaxed);
        list.count = 0;
        for (int out = worker_count - free_workers; out > 0; out--)
            list.moves[list.count++] = take_result().move;
        abort_flag.store(0, std::memory_order_relaxed);
        list.cursor = 0;
        list.sorted = list.count;
        list.stage  = 1;

        // Search them here, as the serial move loop does, without futility.
        while ((move = next_move(pos, list)) != 0) {
            if (counter >= 4 && depth >= 4 && !n.extended && pos.extend == 0) {
                score = -parallel_search(pos, -alpha - 1, -alpha, depth - 2, ply + 1, 1);
                if (score <= alpha) {
                    unmake_move(pos);
                    counter++;
                    continue;
                }
            }
            score = -parallel_search(pos, -alpha - 1, -alpha, depth - 1, ply + 1, 1);
            if (score > alpha && score < beta)
                score = -parallel_search(pos, -beta, -alpha, depth - 1, ply + 1, 1);
            unmake_move(pos);
            if (score > alpha) {
                if (score >= beta) {
                    if (move_type(move) == MOVE_QUIET) history_raise(move, depth);
                    tt_store(n.slot, pos.key, depth, tt_score_to_table(score, ply), TT_LOWER, move);
                    return score;
                }
                best_move = move;
                alpha     = score;
            }
            counter++;
        }
    }

    // 6. No move taken: mate or stalemate; otherwise exact with a best move, else a bound.
    return node_finish(pos, n, alpha, best_move, counter, ply);
}

} // namespace orbelin
