// The "go" command: limits from the argument text, then a new search.
#include "base/output.h"
#include "board/fen.h"
#include "moves/make.h"
#include "moves/perft.h"
#include "moves/picker.h"
#include "search/search.h"
#include "uci/uci.h"

#include <algorithm>
#include <cstring>
#include <glib.h>

namespace orbelin {

// The number after the first occurrence of the keyword: answers false, leaving the field alone,
// when the keyword is missing or what follows it is not a whole unsigned number ("-1", "abc",
// "5x"): such a limit counts as not given, never as a wrapped value. A number beyond max reads
// as max.
static bool read_number(const char* args, const char* keyword, std::uint64_t max,
                        std::uint64_t& value) {
    const char* at = std::strstr(args, keyword);
    if (at == nullptr) return false;
    const char* p = at + std::strlen(keyword);
    while (*p == ' ' || *p == '\t')
        p++;
    if (!g_ascii_isdigit(*p)) return false;
    const char* end = p;
    std::uint64_t n = 0;
    for (; g_ascii_isdigit(*end); end++)
        n = n > (max - std::uint64_t(*end - '0')) / 10 ? max : 10 * n + std::uint64_t(*end - '0');
    if (*end != '\0' && !g_ascii_isspace(*end)) return false;
    value = std::min(n, max);
    return true;
}

static void read_u32(const char* args, const char* keyword, std::uint32_t& field) {
    std::uint64_t value = 0;
    if (read_number(args, keyword, 0xFFFFFFFFu, value)) field = std::uint32_t(value);
}

// The words after "searchmoves" that name legal moves of the position (any letter case), each
// once, in the order given; other words are skipped.
static void read_searchmoves(const char* args, Position& pos, SearchLimits& limits) {
    const char* at = std::strstr(args, "searchmoves");
    if (at == nullptr) return;
    RootMoveList* legal = g_new(RootMoveList, 1);
    legal_moves(pos, *legal);
    for (const char* p = at + std::strlen("searchmoves");;) {
        while (g_ascii_isspace(*p))
            p++;
        const char* end = p;
        while (*end != '\0' && !g_ascii_isspace(*end))
            end++;
        std::size_t length = std::size_t(end - p);
        if (length == 0) break;
        Move move = find_move_text(*legal, p, length);
        if (move != 0 &&
            std::find(limits.searchmoves, limits.searchmoves + limits.searchmoves_count, move) ==
                limits.searchmoves + limits.searchmoves_count)
            limits.searchmoves[limits.searchmoves_count++] = move;
        p = end;
    }
    g_free(legal);
}

// "go perft N": the leaf count of every legal move of the current position and their sum, in
// the form perft tools compare; no search and no bestmove. Runs here on the main thread.
static void go_perft(const char* args) {
    std::uint64_t depth = 0;
    read_number(args, "perft", 20, depth);
    search_finish();
    Position& pos       = *current_position;
    RootMoveList* roots = g_new(RootMoveList, 1);
    legal_moves(pos, *roots);
    std::uint64_t total = depth == 0 ? 1 : 0;
    for (std::uint32_t i = 0; depth > 0 && i < roots->count; i++) {
        make_move(pos, roots->moves[i].move);
        std::uint64_t count = perft(pos, int(depth) - 1);
        unmake_move(pos);
        char text[6];
        move_to_text(roots->moves[i].move, text);
        output_printf("%s: %llu\n", text, static_cast<unsigned long long>(count));
        total += count;
    }
    output_printf("\nNodes searched: %llu\n", static_cast<unsigned long long>(total));
    g_free(roots);
}

void uci_go(const char* args) {
    if (std::strstr(args, "perft") != nullptr) {
        go_perft(args);
        return;
    }
    SearchLimits limits{};
    read_u32(args, "depth", limits.depth);
    read_u32(args, "movetime", limits.movetime);
    read_number(args, "nodes", ~std::uint64_t(0), limits.nodes);
    limits.infinite = std::strstr(args, "infinite") != nullptr;
    read_u32(args, "mate", limits.mate);
    read_u32(args, "wtime", limits.wtime);
    read_u32(args, "btime", limits.btime);
    read_u32(args, "winc", limits.winc);
    read_u32(args, "binc", limits.binc);
    read_u32(args, "movestogo", limits.movestogo);
    read_searchmoves(args, *current_position, limits);

    // Any earlier search ends (and its thread is reclaimed) before the new one starts, even a
    // ponder search the interface did not stop.
    search_finish();
    pondering.store(std::strstr(args, "ponder") != nullptr, std::memory_order_relaxed);
    // A mate search with no other limit is held like an infinite one until it finds its mate.
    const bool mate_only = limits.mate != 0 && limits.depth == 0 && limits.movetime == 0 &&
                           limits.nodes == 0 && limits.wtime == 0 && limits.btime == 0;
    infinite_search.store(int(limits.infinite || mate_only), std::memory_order_relaxed);
    g_timer_start(elapsed_timer);
    start_search(*current_position, limits);
}

} // namespace orbelin
