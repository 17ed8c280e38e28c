// The principal variation search below the root.
#include "board/attacks.h"
#include "eval/evaluate.h"
#include "moves/generate.h"
#include "moves/make.h"
#include "search/search.h"
#include "search/tt.h"

namespace orbelin {

int pv_search(Position& pos, int alpha, int beta, int depth, int ply, int null_allowed) {
    // 1. Stop test; 2. count the node.
    if (search_stopped()) return 0;
    count_node();

    // 3. Draws by repetition and by the fifty-move count.
    if (repetition_count(pos) != 0 || pos.static_moves > 99) return 0;

    // 4. Table probe: the hash move, and the stored bound when deep enough.
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

    // 5. Extension of forcing moves.
    const bool extended = pos.extend != 0;
    if (extended) depth++;

    // 6. Horizon. Near the end of the history stack the search stops deepening.
    if (depth <= 0 || pos.ply >= HISTORY_SIZE - 2) return quiescence(pos, alpha, beta, ply + 1);

    // 7. Endgame: at most 10 pieces and little material.
    const bool endgame = popcount(pos.bitboards[L90]) <= 10 && pos.phase <= 7;

    // 8. Null move.
    if (null_allowed && depth >= 3 && !extended && !endgame) {
        make_move(pos, MOVE_NULL);
        int score =
            -pv_search(pos, -beta, -beta + 1, depth < 7 ? depth - 3 : depth - 4, ply + 1, 0);
        unmake_move(pos);
        if (score >= beta) {
            tt_store(slot, pos.key, depth, score, TT_LOWER, 0);
            return score;
        }
    }

    // 9. Internal iterative deepening when there is no hash move.
    if (hash_move == 0 && depth > 3 && depth / 2 >= tt_depth(data)) {
        pv_search(pos, alpha, beta, depth / 2, ply, 0);
        if (tt_probe(pos.key, slot, data)) {
            hash_move = tt_move(data);
            if (hash_move != 0 && !move_is_pseudo_legal(pos, hash_move)) hash_move = 0;
        }
    }

    // 10. Futility switch at the last three plies. Only the depth-3 case lowers the depth;
    // a depth that misses its threshold is tried against the next lower one.
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

    // 11. Move loop: the hash move first (made directly), then the picker's moves.
    MoveList list;
    list.stage  = 0;
    int counter = 0;
    Move move   = 0;
    if (hash_move != 0 && make_move(pos, hash_move))
        move = hash_move;
    else
        move = next_move(pos, list);
    for (; move != 0; counter++, move = next_move(pos, list)) {
        // 11.1 Futility pruning of quiet, non-forcing moves.
        if (futility && pos.extend == 0) {
            int mover = pos.side ^ 1;
            if (margin + pos.material[mover] - pos.material[mover ^ 1] <= alpha) {
                unmake_move(pos);
                continue;
            }
        }
        int score;
        if (counter == 0) {
            score = -pv_search(pos, -beta, -alpha, depth - 1, ply + 1, 1);
        } else {
            // 11.3 Late moves first get a reduced null-window search.
            if (counter >= 4 && depth >= 4 && !extended && pos.extend == 0) {
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
                if (list.stage == 1) {
                    std::atomic<std::int32_t>& h = history_score[move_from(move)][move_to(move)];
                    h.store(std::int32_t(std::uint32_t(h.load(std::memory_order_relaxed)) +
                                         (std::uint32_t(1) << (depth % 32))),
                            std::memory_order_relaxed);
                }
                tt_store(slot, pos.key, depth, score, TT_LOWER, move);
                return score;
            }
            best_move = move;
            alpha     = score;
        }
    }

    // 12. No move taken: mate or stalemate. Otherwise exact with a best move, else an upper bound.
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
