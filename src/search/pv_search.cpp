// The principal variation search below the root.
#include "search/node.h"
#include "search/parallel.h"

namespace orbelin {

int pv_search(Position& pos, int alpha, int beta, int depth, int ply, int null_allowed) {
    // Stop test, then the node's opening steps.
    if (search_stopped()) return 0;
    if (coordinating && results_waiting.load(std::memory_order_relaxed) > 0)
        collect_results(pos, ply);
    NodeStart n;
    int score;
    if (node_start<pv_search>(pos, alpha, beta, depth, ply, null_allowed, n, score)) return score;
    alpha          = n.alpha;
    beta           = n.beta;
    depth          = n.depth;
    Move best_move = n.best_move;

    // Move loop: the hash move first (made directly), then the picker's moves, which
    // include the hash move again.
    MoveList list;
    list.stage  = 0;
    int counter = 0;
    Move move   = 0;
    if (n.hash_move != 0 && make_move(pos, n.hash_move))
        move = n.hash_move;
    else
        move = next_move(pos, list);
    for (; move != 0; counter++, move = next_move(pos, list)) {
        // Futility pruning of quiet, non-forcing moves.
        if (futile(pos, n, alpha)) {
            unmake_move(pos);
            continue;
        }
        if (counter == 0) {
            score = -pv_search(pos, -beta, -alpha, depth - 1, ply + 1, 1);
        } else {
            // Late moves first get a reduced null-window search.
            if (counter >= 4 && depth >= 4 && !n.extended && pos.extend == 0) {
                score = -pv_search(pos, -alpha - 1, -alpha, depth - 2, ply + 1, 1);
                if (score <= alpha) {
                    unmake_move(pos);
                    continue;
                }
            }
            score = -pv_search(pos, -alpha - 1, -alpha, depth - 1, ply + 1, 1);
            if (score > alpha && score < beta)
                score = -pv_search(pos, -beta, -alpha, depth - 1, ply + 1, 1);
        }
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

    // No move taken: mate or stalemate; otherwise exact with a best move, else a bound.
    return node_finish(pos, n, alpha, best_move, counter, ply);
}

} // namespace orbelin
