// The search driver: trivial cases, the book, iterative deepening and the root iteration with
// aspiration windows and several principal variations.
#include "base/options.h"
#include "book/book.h"
#include "egbb/egbb.h"
#include "eval/evaluate.h"
#include "moves/generate.h"
#include "moves/make.h"
#include "search/parallel.h"
#include "search/report.h"
#include "search/search.h"
#include "search/tt.h"

#include <algorithm>
#include <glib.h>

namespace orbelin {

namespace {

// The root's children are searched at ply 0, so mate scores stored for the root count from -1.
constexpr int ROOT_PLY = -1;

// A ponder search may not answer before "ponderhit" or "stop", nor an infinite one before
// "stop": its last line waits for them.
void wait_for_the_interface() {
    while (pondering.load(std::memory_order_relaxed) ||
           infinite_search.load(std::memory_order_relaxed))
        g_usleep(1000);
}

void finish(Move move, Move ponder) {
    wait_for_the_interface();
    print_bestmove(move, ponder);
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
                tt_collect_pv(pos, list.moves[index].pv);
                print_pv_lines(pos.side ^ 1, depth, kept, list);
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
                tt_store(slot, root_key, depth, tt_score_to_table(score, ROOT_PLY), TT_UPPER, move);
                break;
            }
            index = root_reposition(list, index, score, depth);
            print_pv_lines(pos.side ^ 1, depth, kept, list);
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

void think(Position& pos, std::uint64_t max_nodes, std::uint32_t max_depth) {
    // Fresh counters.
    nodes_reset();
    seldepth.store(0, std::memory_order_relaxed);
    bbhits.store(0, std::memory_order_relaxed);

    if (max_depth == 0) {
        evaluate(pos, -30000, 30000);
        wait_for_the_interface();
        print_line("bestmove xxxx\n");
        return;
    }

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
    // An infinite search is analysis, and "searchmoves" asks for the listed moves to be
    // searched: neither answers with a lone move or a book move unsearched.
    const bool analysis             = infinite_search.load(std::memory_order_relaxed) != 0;
    const std::uint32_t legal_count = list->count;
    const bool restricted           = restrict_root(*list);
    if (list->count == 1 && !analysis && !restricted) {
        finish(list->moves[0].move, 0);
        g_free(list);
        return;
    }

    tt_new_search();
    history_clear();
    option_multipv = std::min(option_multipv, int(legal_count));
    search_multipv = std::min(option_multipv, int(list->count));
    // Polyglot keys and castling moves are those of standard chess: no book in Chess960.
    if (!analysis && !restricted && !pos.chess960 && book_available()) {
        if (Move move = book_move(pos)) {
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
        if (depth + 1 > max_depth || nodes_searched() >= max_nodes) break;
    }
    // A search too short for the iteration lines still reports the score it found.
    if (!pv_lines_printed) print_last_pv_lines(pos.side, search_multipv, *list);
    finish(list->moves[0].move, list->moves[0].pv[0]);
    g_free(list);
}

} // namespace orbelin
