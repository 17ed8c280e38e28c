#pragma once
// The opening steps every tree node takes before its move loop, shared by the serial and the
// parallel search: node count, draws, table probe, extension, horizon, null move, internal
// iterative deepening and the futility switch.
#include "board/attacks.h"
#include "moves/generate.h"
#include "moves/make.h"
#include "search/search.h"
#include "search/tt.h"

namespace orbelin {

// What the opening steps leave to the move loop.
struct NodeStart {
    TTEntry* slot;      // where every store of this node goes
    std::uint64_t data; // the slot's data word at the last probe
    Move hash_move;     // playable here (checked), or 0
    Move best_move;
    int alpha, beta, depth;
    bool extended, endgame, futility;
    int margin;
};

// Adds 2 to the power (depth mod 32) to the move's history counter; the addition wraps.
inline void history_raise(Move move, int depth) {
    std::atomic<std::int32_t>& h = history_score[move_from(move)][move_to(move)];
    h.store(std::int32_t(std::uint32_t(h.load(std::memory_order_relaxed)) +
                         (std::uint32_t(1) << (depth % 32))),
            std::memory_order_relaxed);
}

// The table's move for the slot's data, when it can be played here.
inline Move playable_hash_move(const Position& pos, std::uint64_t data) {
    Move move = tt_move(data);
    return move != 0 && move_is_pseudo_legal(pos, move) ? move : 0;
}

// The opening of a node, after its stop test: node count, draws, table probe, extension,
// horizon, null move, internal iterative deepening and the futility switch. Answers true with the
// node's score when the node is decided before its moves; otherwise fills n for the move loop.
// Child searches the null move's reply (the serial or the parallel search).
template <int (&Child)(Position&, int, int, int, int, int)>
inline bool node_start(Position& pos, int alpha, int beta, int depth, int ply, int null_allowed,
                       NodeStart& n, int& score) {
    // Count the node; draws by repetition and by the fifty-move count.
    count_node();
    if (repetition_count(pos) != 0 || pos.static_moves > 99) return score = 0, true;

    // Table probe: the hash move, and the stored bound when deep enough.
    n.hash_move = n.best_move = 0;
    if (tt_probe(pos.key, n.slot, n.data)) {
        n.hash_move = playable_hash_move(pos, n.data);
        if (tt_depth(n.data) >= depth) {
            int stored = tt_score_from_table(tt_score(n.data), ply);
            switch (tt_flag(n.data)) {
            case TT_EXACT:
                return score = stored, true;
            case TT_LOWER:
                if (stored > alpha) {
                    n.best_move = n.hash_move;
                    alpha       = stored;
                    if (stored >= beta) return score = stored, true;
                }
                break;
            case TT_UPPER:
                if (stored < beta) {
                    beta        = stored;
                    n.best_move = 0;
                    if (stored <= alpha) return score = stored, true;
                }
                break;
            }
        }
    }

    // Extension of forcing moves.
    n.extended = pos.extend != 0;
    if (n.extended) depth++;

    // Horizon. Near the end of the history stack the search stops deepening.
    if (depth <= 0 || pos.ply >= HISTORY_SIZE - 2)
        return score = quiescence(pos, alpha, beta, ply + 1), true;

    // Endgame: at most 10 pieces and little material.
    n.endgame = popcount(pos.bitboards[L90]) <= 10 && pos.phase <= 7;

    // Null move.
    if (null_allowed && depth >= 3 && !n.extended && !n.endgame) {
        make_move(pos, MOVE_NULL);
        int reply = -Child(pos, -beta, -beta + 1, depth < 7 ? depth - 3 : depth - 4, ply + 1, 0);
        unmake_move(pos);
        if (reply >= beta) {
            tt_store(n.slot, pos.key, depth, tt_score_to_table(reply, ply), TT_LOWER, 0);
            return score = reply, true;
        }
    }

    // Internal iterative deepening, serially, when there is no hash move.
    if (n.hash_move == 0 && depth > 3 && depth / 2 >= tt_depth(n.data)) {
        pv_search(pos, alpha, beta, depth / 2, ply, 0);
        if (tt_probe(pos.key, n.slot, n.data)) n.hash_move = playable_hash_move(pos, n.data);
    }

    // Futility switch at the last three plies. Only the depth-3 case lowers the depth;
    // a depth that misses its threshold is tried against the next lower one.
    n.futility = false;
    n.margin   = 0;
    if (depth <= 3 && !n.extended && !n.endgame) {
        const int balance = pos.material[pos.side] - pos.material[pos.side ^ 1];
        if (depth == 3 && alpha >= balance + 900) {
            n.futility = true, n.margin = 500;
            depth = 2;
        } else if (depth >= 2 && alpha >= balance + 500) {
            n.futility = true, n.margin = 500;
        } else if (alpha >= balance + 200) {
            n.futility = true, n.margin = 200;
        }
    }
    n.alpha = alpha;
    n.beta  = beta;
    n.depth = depth;
    return false;
}

// True when futility prunes the move just made: it is not forcing and the mover's material
// lead after it, plus the margin, does not exceed alpha.
inline bool futile(const Position& pos, const NodeStart& n, int alpha) {
    if (!n.futility || pos.extend != 0) return false;
    const int mover = pos.side ^ 1;
    return n.margin + pos.material[mover] - pos.material[mover ^ 1] <= alpha;
}

// The node's result once its moves are done (counter moves taken): mate or stalemate when none
// was taken, else the best score, stored exact with a best move or as an upper bound.
inline int node_finish(Position& pos, const NodeStart& n, int alpha, Move best_move, int counter,
                       int ply) {
    if (counter == 0) {
        int score = pos.in_check ? ply - MATE : 0;
        tt_store(n.slot, pos.key, n.depth, tt_score_to_table(score, ply), TT_EXACT, 0);
        return score;
    }
    if (best_move != 0) {
        tt_store(n.slot, pos.key, n.depth, tt_score_to_table(alpha, ply), TT_EXACT, best_move);
        return alpha;
    }
    tt_store(n.slot, pos.key, n.depth, tt_score_to_table(alpha, ply), TT_UPPER, n.hash_move);
    return alpha;
}

} // namespace orbelin
