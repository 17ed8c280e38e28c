// The formats of the search's output lines. Each line is built whole and written with one call,
// so that no line of one thread lands inside another's.
#include "search/report.h"

#include "base/options.h"
#include "board/fen.h"
#include "egbb/egbb.h"
#include "search/search.h"
#include "search/tt.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <glib.h>
#include <glib/gprintf.h>
#include <unistd.h>

namespace orbelin {

namespace {

// A line under construction in a fixed buffer.
struct Line {
    char text[1024];
    std::size_t length = 0;

    void add(const char* format, ...) G_GNUC_PRINTF(2, 3) {
        va_list args;
        va_start(args, format);
        int n = g_vsnprintf(text + length, sizeof text - length, format, args);
        va_end(args);
        if (n > 0) length = std::min(sizeof text - 1, length + std::size_t(n));
    }
    void add_move(Move move) {
        char move_text[6];
        move_to_text(move, move_text);
        add("%s ", move_text);
    }
};

} // namespace

void print_depth(int depth) {
    if (depth <= 4) return;
    Line line;
    line.add("info depth %d\n", depth);
    print_line(line.text);
}

void print_stats(int depth, std::uint64_t node_count) {
    if (depth <= 4) return;
    double elapsed   = elapsed_seconds();
    unsigned nps     = elapsed > 0 ? unsigned(float(node_count) / float(elapsed)) : 0;
    unsigned time_ms = unsigned(elapsed * 1000);
    Line line;
    line.add("info time %u nodes %llu nps %u hashfull %u \n", time_ms,
             static_cast<unsigned long long>(node_count), nps, hashfull_permill());
    print_line(line.text);
}

int mate_moves(int score, int root_side) {
    if (score >= 29961) return ((root_side == WHITE ? 30002 : 30003) - score) / 2;
    if (score <= -29961) return (-score - (root_side == WHITE ? 30001 : 30002)) / 2;
    return 0;
}

void format_score(char* buffer, std::size_t size, int score, int root_side) {
    if (score >= 29961 || score <= -29961)
        g_snprintf(buffer, size, "score mate %d ", mate_moves(score, root_side));
    else
        g_snprintf(buffer, size, "score cp %d ", score);
}

void print_last_pv_lines(int root_side, int count, const RootMoveList& list) {
    if (!output_enabled) return;
    pv_lines_printed = true;
    for (int i = 0; i < count; i++) {
        const RootMove& entry = list.moves[i];
        Line line;
        line.add("info ");
        if (count > 1) line.add("multipv %d ", i + 1);
        char score[32];
        format_score(score, sizeof score, entry.score, root_side);
        line.add("%s", score);
        // A score outside its search window is only a bound of the move's value.
        if (entry.bound == TT_LOWER) line.add("lowerbound ");
        if (entry.bound == TT_UPPER) line.add("upperbound ");
        int hits = bbhits.load(std::memory_order_relaxed);
        if (hits != 0) line.add("bbhits %d ", hits);
        line.add("depth %d seldepth %d time %d nodes %llu nps %u hashfull %d pv ", int(entry.depth),
                 int(entry.seldepth), int(entry.time_ms),
                 static_cast<unsigned long long>(entry.nodes), entry.nps, int(hashfull_permill()));
        line.add_move(entry.move);
        for (int k = 0; k < 14 && entry.pv[k] != 0; k++)
            line.add_move(entry.pv[k]);
        line.add("\n");
        output_text(line.text, line.length);
    }
}

void print_pv_lines(int root_side, int depth, int count, const RootMoveList& list) {
    if (depth <= 4) return;
    print_last_pv_lines(root_side, count, list);
}

void print_currmove(int depth, int index, const RootMoveList& list) {
    if (depth <= 9) return;
    char move_text[6];
    move_to_text(list.moves[index].move, move_text);
    Line line;
    line.add("info currmovenumber %d currmove %s\n", index + 1, move_text);
    print_line(line.text);
}

void print_bestmove(Move move, Move ponder) {
    Line line;
    line.add("bestmove ");
    line.add_move(move);
    if (option_ponder && ponder != 0) {
        line.add("ponder ");
        line.add_move(ponder);
    }
    line.add("\n");
    print_line(line.text);
}

} // namespace orbelin
