// Quiescence: stand pat on the static evaluation, then captures and promotions in key order.
#include "eval/evaluate.h"
#include "moves/make.h"
#include "search/search.h"

namespace orbelin {

int quiescence(Position& pos, int alpha, int beta, int ply) {
    if (search_stopped()) return -MATE;
    count_node();
    if (std::uint32_t(ply) > seldepth.load(std::memory_order_relaxed))
        seldepth.store(std::uint32_t(ply), std::memory_order_relaxed);

    int stand = evaluate(pos, alpha, beta);
    if (stand > alpha) {
        if (stand >= beta) return stand;
        alpha = stand;
    }
    // The history stack ends here; only a game near its length limit searched very deep
    // gets this far.
    if (pos.ply >= HISTORY_SIZE - 1) return alpha;

    MoveList list;
    list.stage = 0;
    while (next_capture(pos, list)) {
        int score = -quiescence(pos, -beta, -alpha, ply + 1);
        unmake_move(pos);
        if (score > alpha) {
            if (score >= beta) return score;
            alpha = score;
        }
    }
    return alpha;
}

} // namespace orbelin
