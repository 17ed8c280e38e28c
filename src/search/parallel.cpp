// Parallel search: the worker pool and its two queues (main thread), the workers' loop (worker
// threads) and the coordinating search (search thread), which hands moves out and takes them back.
#include "search/parallel.h"

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

// Adds 2 to the power (depth mod 32) to the move's history counter; the addition wraps.
inline void history_raise(Move move, int depth) {
    std::atomic<std::int32_t>& h = history_score[move_from(move)][move_to(move)];
    h.store(std::int32_t(std::uint32_t(h.load(std::memory_order_relaxed)) +
                         (std::uint32_t(1) << (depth % 32))),
            std::memory_order_relaxed);
}

// True when futility prunes the move just made: it is not forcing and the mover's material
// lead after it, plus the margin, does not exceed alpha.
inline bool futile(const Position& pos, bool futility, int margin, int alpha) {
    if (!futility || pos.extend != 0) return false;
    const int mover = pos.side ^ 1;
    return margin + pos.material[mover] - pos.material[mover ^ 1] <= alpha;
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

    // 1. Stop test (abort_flag is only ever raised while this thread drains); 2. count the node.
    if (stop_flag.load(std::memory_order_relaxed) && !pondering.load(std::memory_order_relaxed))
        return 0;
    count_node();

    // Draws by repetition and by the fifty-move count.
    if (repetition_count(pos) != 0 || pos.static_moves > 99) return 0;

    // Table probe: the hash move, and the stored bound when deep enough.
    TTEntry* slot;
    std::uint64_t data;
    Move hash_move = 0, best_move = 0;
    if (tt_probe(pos.key, slot, data)) {
        hash_move = tt_move(data);
        // A move from the table must be playable here before it is made.
        if (hash_move != 0 && !move_is_pseudo_legal(pos, hash_move)) hash_move = 0;
        if (tt_depth(data) >= depth) {
            int score = tt_score(data);
            switch (tt_flag(data)) {
            case TT_EXACT:
                return score;
            case TT_LOWER:
                if (score > alpha) {
                    best_move = hash_move;
                    alpha     = score;
                    if (score >= beta) return score;
                }
                break;
            case TT_UPPER:
                if (score < beta) {
                    beta      = score;
                    best_move = 0;
                    if (score <= alpha) return score;
                }
                break;
            }
        }
    }

    // Extension of forcing moves.
    const bool extended = pos.extend != 0;
    if (extended) depth++;

    // Horizon. Near the end of the history stack the search stops deepening.
    if (depth <= 0 || pos.ply >= HISTORY_SIZE - 2) return quiescence(pos, alpha, beta, ply + 1);

    // Endgame: at most 10 pieces and little material.
    const bool endgame = popcount(pos.bitboards[L90]) <= 10 && pos.phase <= 7;

    // Null move, its child searched here again.
    if (null_allowed && depth >= 3 && !extended && !endgame) {
        make_move(pos, MOVE_NULL);
        int score =
            -parallel_search(pos, -beta, -beta + 1, depth < 7 ? depth - 3 : depth - 4, ply + 1, 0);
        unmake_move(pos);
        if (score >= beta) {
            tt_store(slot, pos.key, depth, score, TT_LOWER, 0);
            return score;
        }
    }

    // Internal iterative deepening, serially, when there is no hash move.
    if (hash_move == 0 && depth > 3 && depth / 2 >= tt_depth(data)) {
        pv_search(pos, alpha, beta, depth / 2, ply, 0);
        if (tt_probe(pos.key, slot, data)) {
            hash_move = tt_move(data);
            if (hash_move != 0 && !move_is_pseudo_legal(pos, hash_move)) hash_move = 0;
        }
    }

    // Futility switch at the last three plies.
    bool futility = false;
    int margin    = 0;
    if (depth <= 3 && !extended && !endgame) {
        const int balance = pos.material[pos.side] - pos.material[pos.side ^ 1];
        if (depth == 3 && alpha >= balance + 900) {
            futility = true, margin = 500;
            depth = 2;
        } else if (depth >= 2 && alpha >= balance + 500) {
            futility = true, margin = 500;
        } else if (alpha >= balance + 200) {
            futility = true, margin = 200;
        }
    }

    // 3. First move, on this thread: the hash move (made directly) or the picker's first.
    MoveList list;
    list.stage  = 0;
    int counter = 0;
    Move move   = 0;
    if (hash_move != 0 && make_move(pos, hash_move))
        move = hash_move;
    else
        move = next_move(pos, list);
    if (move != 0) {
        if (futile(pos, futility, margin, alpha)) {
            unmake_move(pos);
        } else {
            int score = -parallel_search(pos, -beta, -alpha, depth - 1, ply + 1, 1);
            unmake_move(pos);
            if (score > alpha) {
                if (score >= beta) {
                    if (list.stage == 1) history_raise(move, depth);
                    tt_store(slot, pos.key, depth, score, TT_LOWER, move);
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
                if (futile(pos, futility, margin, alpha)) {
                    unmake_move(pos);
                    counter++;
                    continue;
                }
                if (counter >= 4 && depth > 3 && !extended && pos.extend == 0)
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
                    tt_store(slot, pos.key, depth, r.score, TT_LOWER, r.move);
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
            int score;
            if (counter >= 4 && depth >= 4 && !extended && pos.extend == 0) {
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
                    tt_store(slot, pos.key, depth, score, TT_LOWER, move);
                    return score;
                }
                best_move = move;
                alpha     = score;
            }
            counter++;
        }
    }

    // 6. No move taken: mate or stalemate. Otherwise exact with a best move, else an upper bound.
    if (counter == 0) {
        int score = pos.in_check ? ply - MATE : 0;
        tt_store(slot, pos.key, depth, score, TT_EXACT, 0);
        return score;
    }
    if (best_move != 0) {
        tt_store(slot, pos.key, depth, alpha, TT_EXACT, best_move);
        return alpha;
    }
    tt_store(slot, pos.key, depth, alpha, TT_UPPER, hash_move);
    return alpha;
}

} // namespace orbelin
