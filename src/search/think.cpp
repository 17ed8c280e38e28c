// The search driver: trivial cases, the book, iterative deepening and the root iteration with
// aspiration windows and several principal variations.
#include "base/options.h"
#include "board/fen.h"
#include "book/book.h"
#include "egbb/egbb.h"
#include "eval/evaluate.h"
#include "moves/generate.h"
#include "moves/make.h"
#include "search/parallel.h"
#include "search/report.h"
#include "search/search.h"
#include "search/strength.h"
#include "search/tt.h"

#include <algorithm>
#include <glib.h>

namespace orbelin {

namespace {

// The root's children are searched at ply 0, so mate scores stored for the root count from -1.
constexpr int ROOT_PLY = -1;

// Set by think when a "go mate N" search has found its mate; search thread only.
bool mate_found = false;

// A ponder search may not answer before "ponderhit" or "stop", nor an infinite one before
// "stop" (a mate search that found its mate excepted): its last line waits for them.
void wait_for_the_interface() {
    while (pondering.load(std::memory_order_relaxed) ||
           (infinite_search.load(std::memory_order_relaxed) && !(mate_found && mate_answers)))
        g_usleep(1000);
}

void finish(Move move, Move ponder) {
    wait_for_the_interface();
    print_bestmove(move, ponder);
}

// The one score line of a move played without a search (a book move, the only legal move):
// depth 0 and the position's static evaluation for the side to move.
void announce_unsearched(Position& pos, Move move) {
    if (!output_enabled) return;
    char score[32], text[6];
    format_score(score, sizeof score, evaluate(pos, -30000, 30000), pos.side);
    move_to_text(move, text);
    output_printf("info depth 0 %stime 0 nodes 0 nps 0 pv %s\n", score, text);
}

// Keeps only the root moves "searchmoves" listed, in the list's order; when none of them is in
// the list, all stay. Answers true when the list was restricted.
bool restrict_root(RootMoveList& list) {
    if (search_moves_count == 0) return false;
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < list.count; i++)
        if (std::find(search_moves, search_moves + search_moves_count, list.moves[i].move) !=
            search_moves + search_moves_count)
            list.moves[kept++] = list.moves[i];
    if (kept == 0) return false;
    list.count = kept;
    return true;
}

} // namespace

double elapsed_seconds() { return elapsed_timer ? g_timer_elapsed(elapsed_timer, nullptr) : 0; }

int root_reposition(RootMoveList& list, int index, int score, int depth) {
    RootMove& entry = list.moves[index];
    double elapsed  = elapsed_seconds();
    std::uint64_t n = nodes_searched();
    entry.depth     = std::uint32_t(depth);
    entry.score     = score;
    entry.seldepth  = seldepth.load(std::memory_order_relaxed);
    entry.nps       = elapsed > 0 ? std::uint32_t(double(n) / elapsed) : 0;
    entry.time_ms   = std::uint32_t(elapsed * 1000);
    entry.nodes     = n;
    int place       = 0;
    while (place < index && list.moves[place].score >= score)
        place++;
    if (place == index) return index;
    RootMove moving = entry;
    std::copy_backward(list.moves + place, list.moves + index, list.moves + index + 1);
    list.moves[place] = moving;
    return place;
}

void root_search(Position& pos, RootMoveList& list, int depth) {
    const std::uint64_t root_key = pos.key;
    TTEntry* slot;
    std::uint64_t data;
    tt_probe(root_key, slot, data);
    const int kept = search_multipv;

    while (!stop_flag.load(std::memory_order_relaxed) ||
           pondering.load(std::memory_order_relaxed)) {
        // The first entry not yet searched at this depth.
        int index = 0;
        while (index < int(list.count) && int(list.moves[index].depth) >= depth)
            index++;
        if (index == int(list.count)) {
            tt_store_root(root_key, depth, tt_score_to_table(list.moves[0].score, ROOT_PLY),
                          list.moves[0].move);
            return;
        }
        // Make it and announce it.
        const Move move = list.moves[index].move;
        if (!make_move(pos, move))
            g_log(nullptr, G_LOG_LEVEL_ERROR, "Wrong root move!\n"); // message text kept as is
        print_currmove(depth, index, list);

        // Window: around the previous score for a kept variation, else a null window on the
        // weakest kept one.
        int alpha, beta;
        if (index < kept) {
            alpha = list.moves[index].score - 1;
            beta  = list.moves[index].score + 1;
        } else {
            alpha = list.moves[kept - 1].score;
            beta  = alpha + 1;
        }
        int delta        = 2;
        bool failed_high = false, failed_low = false;

        for (;;) {
            // Search it; an interrupted result is dropped.
            int score = option_threads > 1 ? -parallel_search(pos, -beta, -alpha, depth - 1, 0, 1)
                                           : -pv_search(pos, -beta, -alpha, depth - 1, 0, 1);
            if (search_stopped()) break;

            if (index < kept) {
                // A kept variation: record, collect and print it, widen on failure.
                index = root_reposition(list, index, score, depth);
                // A result outside the window is a bound until the widened search that follows
                // it; one that fails on the other side after a failure is accepted as it is.
                list.moves[index].bound = score >= beta && !failed_low     ? TT_LOWER
                                          : score <= alpha && !failed_high ? TT_UPPER
                                                                           : TT_EXACT;
                tt_collect_pv(pos, list.moves[index].pv);
                // The lines are printed again when one of the variations shown has changed.
                if (index < report_multipv)
                    print_pv_lines(pos.side ^ 1, depth, report_multipv, list);
                if (score >= beta) {
                    if (failed_low) break;
                    delta *= 2;
                    alpha = score;
                    beta  = std::min(score + delta, 30001);
                    tt_store(slot, root_key, depth, tt_score_to_table(score, ROOT_PLY), TT_LOWER,
                             move);
                    failed_high = true;
                    continue;
                }
                if (score <= alpha) {
                    if (failed_high) break;
                    delta *= 2;
                    beta  = score;
                    alpha = std::max(score - delta, -30001);
                    tt_store(slot, root_key, depth, tt_score_to_table(score, ROOT_PLY), TT_UPPER,
                             move);
                    failed_low = true;
                    continue;
                }
                tt_store(slot, root_key, depth, tt_score_to_table(score, ROOT_PLY), TT_EXACT, move);
                break;
            }
            // Not kept: a move that fails low keeps its place and its old variation.
            if (score <= alpha) {
                list.moves[index].score = score;
                list.moves[index].depth = std::uint32_t(depth);
                list.moves[index].bound = TT_UPPER;
                tt_store(slot, root_key, depth, tt_score_to_table(score, ROOT_PLY), TT_UPPER, move);
                break;
            }
            index                   = root_reposition(list, index, score, depth);
            list.moves[index].bound = TT_LOWER;
            if (index < report_multipv) print_pv_lines(pos.side ^ 1, depth, report_multipv, list);
            alpha = score;
            beta  = std::min(score + 4, 30001);
            tt_store(slot, root_key, depth, tt_score_to_table(score, ROOT_PLY), TT_LOWER, move);
            delta       = 4;
            failed_high = true;
        }
        // Take the move back.
        unmake_move(pos);
    }
}

void node_limit_check() {
    if (nodes_searched() >= search_node_limit) stop_flag.store(1, std::memory_order_relaxed);
}

// Arms the node limit's checks: a thread looks at the sum every 2^k nodes of its own, with 2^k
// at most the overshoot allowed (1 % of the limit, at least 1,000 nodes) shared among the
// threads, so that all of them together pass the limit by less than that.
static void arm_node_limit(std::uint64_t max_nodes) {
    search_node_limit = max_nodes;
    if (max_nodes == ~std::uint64_t(0)) {
        node_check_mask = ~std::uint64_t(0);
        return;
    }
    const std::uint64_t slack      = std::max<std::uint64_t>(max_nodes / 100, 1000);
    const std::uint64_t per_thread = slack / std::uint64_t(2 * std::max(option_threads, 1));
    std::uint64_t interval         = 1;
    while (interval * 2 <= per_thread && interval < 1024)
        interval *= 2;
    node_check_mask = interval - 1;
}

void think(Position& pos, std::uint64_t max_nodes, std::uint32_t max_depth) {
    // Fresh counters.
    mate_found = false;
    nodes_reset();
    arm_node_limit(max_nodes);
    seldepth.store(0, std::memory_order_relaxed);
    bbhits.store(0, std::memory_order_relaxed);

    if (max_depth == 0) {
        evaluate(pos, -30000, 30000);
        wait_for_the_interface();
        print_line("bestmove xxxx\n");
        return;
    }

    // An infinite search is analysis, and "searchmoves" asks for the listed moves to be
    // searched: neither answers with a lone move or a book move unsearched. Analysis and mate
    // searches ask for the truth, so they ignore a limited strength.
    const bool analysis = infinite_search.load(std::memory_order_relaxed) != 0;
    const bool limited  = option_limit_strength != 0 && !analysis && mate_limit == 0;
    strength_announce(option_limit_strength != 0, !limited);

    RootMoveList* list = g_new(RootMoveList, 1);
    legal_moves(pos, *list);
    // A position without a move has nothing to answer but "0000". One that stands for the
    // third time or has run out of the fifty moves is still searched: claiming the draw is
    // the interface's business.
    if (list->count == 0) {
        wait_for_the_interface();
        print_line("info string in given position can not make any move!\n");
        print_line("bestmove 0000\n");
        g_free(list);
        return;
    }
    const std::uint32_t legal_count = list->count;
    const bool restricted           = restrict_root(*list);
    if (list->count == 1 && !analysis && !restricted) {
        announce_unsearched(pos, list->moves[0].move);
        finish(list->moves[0].move, 0);
        g_free(list);
        return;
    }

    tt_new_search();
    history_clear();
    option_multipv = std::min(option_multipv, int(legal_count));
    search_multipv = std::min(option_multipv, int(list->count));
    report_multipv = search_multipv;
    // A limited strength keeps a few variations to choose from (when it has a temperature to
    // choose with) and stops deepening at its node budget, but only once the first iteration is
    // done, which sees every mate in one and every piece left hanging.
    StrengthLevel level{};
    if (limited) {
        level = strength_level(option_elo);
        if (level.temperature > 0)
            search_multipv =
                std::min(std::max(search_multipv, STRENGTH_CANDIDATES), int(list->count));
    }
    const std::uint64_t node_budget = limited ? std::min(max_nodes, level.nodes) : max_nodes;
    // Polyglot keys and castling moves are those of standard chess: no book in Chess960.
    if (!analysis && !restricted && !pos.chess960 && book_available()) {
        unsigned weight = 0, total = 0;
        if (Move move = book_move(pos, &weight, &total)) {
            char text[6];
            move_to_text(move, text);
            if (output_enabled)
                output_printf("info string book (%s) move %s weight %u of %u\n", book_path, text,
                              weight, total);
            announce_unsearched(pos, move);
            finish(move, 0);
            g_free(list);
            return;
        }
    }

    pv_lines_printed = false;
    for (std::uint32_t depth = 1;; depth++) {
        if (stop_flag.load(std::memory_order_relaxed) && !pondering.load(std::memory_order_relaxed))
            break;
        print_depth(int(depth));
        root_search(pos, *list, int(depth));
        print_stats(int(depth), nodes_searched());
        if (limited && depth == 1) arm_node_limit(node_budget);
        if (mate_limit != 0 && list->moves[0].bound == TT_EXACT) {
            int moves  = mate_moves(list->moves[0].score, pos.side);
            mate_found = moves > 0 && std::uint32_t(moves) <= mate_limit;
            if (mate_found) break;
        }
        if (depth + 1 > max_depth || nodes_searched() >= node_budget) break;
    }
    // A limited strength may play one of its other variations: lifted to the top, it is the
    // one reported and played, and the last score lines say so.
    if (limited) {
        strength_prepare();
        const int chosen = strength_pick(*list, search_multipv, level, strength_rand);
        if (chosen > 0) {
            const RootMove entry = list->moves[chosen];
            std::copy_backward(list->moves, list->moves + chosen, list->moves + chosen + 1);
            list->moves[0]   = entry;
            pv_lines_printed = false;
        }
    }
    // A search too short for the iteration lines still reports the score it found.
    if (!pv_lines_printed) print_last_pv_lines(pos.side, report_multipv, *list);
    finish(list->moves[0].move, list->moves[0].pv[0]);
    g_free(list);
}

} // namespace orbelin
