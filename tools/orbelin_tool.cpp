// orbelin-tool: developer commands over the engine's own code (perft, eval, evalspeed, bench).
#include "board/fen.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "moves/make.h"
#include "moves/perft.h"
#include "moves/picker.h"
#include "tool.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <glib.h>
#include <string>
#include <vector>

using namespace orbelin;

namespace {

int usage() {
    std::fprintf(stderr, "usage: orbelin-tool perft [--chess960] <depth> [<fen>]\n"
                         "       orbelin-tool perft [--chess960] --epd <file> [<max-depth>]\n"
                         "       orbelin-tool eval [<fen>]\n"
                         "       orbelin-tool evalspeed [<fen-or-epd-file>]\n"
                         "       orbelin-tool bench [<depth> [<threads> [<hash_mb>]]]\n"
                         "  the FEN may be one quoted argument or its separate words;\n"
                         "  --chess960 reads Shredder-FEN or X-FEN castling and castles by the\n"
                         "  Chess960 rules; --epd checks each line's ';D<depth> <count>' fields\n");
    return 2;
}

// The FEN given as one argument or as several words, or the start position when none.
bool position_from_args(Position& pos, int argc, char** argv, int first, bool chess960 = false) {
    if (first >= argc) {
        position_set_start(pos, chess960);
        return true;
    }
    std::string fen;
    for (int i = first; i < argc; i++)
        fen += std::string(i > first ? " " : "") + argv[i];
    return position_set_fen(pos, fen.c_str(), chess960);
}

// A depth from 1 to 20, or 0.
long depth_arg(const char* text) {
    char* end  = nullptr;
    long depth = std::strtol(text, &end, 10);
    return *end == '\0' && depth >= 1 && depth <= 20 ? depth : 0;
}

// Checks every line of an EPD perft file ("<fen> ;D1 <count> ;D2 <count> ..."), each listed
// depth up to max_depth; prints each wrong count and a summary. Answers 0 when all agree.
int perft_epd(const char* path, long max_depth, bool chess960) {
    std::ifstream file(path);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 2;
    }
    Position* pos  = position_new();
    GTimer* timer  = g_timer_new();
    long positions = 0, checks = 0, failures = 0;
    std::uint64_t nodes = 0;
    for (std::string line; std::getline(file, line);) {
        std::size_t fields = line.find(';');
        if (line.empty() || fields == std::string::npos) continue;
        const std::string fen = line.substr(0, fields);
        if (!position_set_fen(*pos, fen.c_str(), chess960)) {
            std::printf("refused %s\n", fen.c_str());
            failures++;
            continue;
        }
        positions++;
        for (std::size_t at = fields; at != std::string::npos; at = line.find(';', at + 1)) {
            int depth                = 0;
            unsigned long long count = 0;
            if (std::sscanf(line.c_str() + at, ";D%d %llu", &depth, &count) != 2) continue;
            if (depth < 1 || depth > max_depth) continue;
            std::uint64_t found = perft(*pos, depth);
            nodes += found;
            checks++;
            if (found != count) {
                failures++;
                std::printf("wrong %s depth %d: %llu, not %llu\n", fen.c_str(), depth,
                            static_cast<unsigned long long>(found), count);
            }
        }
    }
    double seconds = g_timer_elapsed(timer, nullptr);
    std::printf("positions %ld checks %ld wrong %ld nodes %llu time_ms %llu\n", positions, checks,
                failures, static_cast<unsigned long long>(nodes),
                static_cast<unsigned long long>(seconds * 1000));
    g_timer_destroy(timer);
    position_free(pos);
    return failures == 0 && checks > 0 ? 0 : 1;
}

int command_perft(int argc, char** argv) {
    int first           = 2;
    const bool chess960 = argc > first && std::strcmp(argv[first], "--chess960") == 0;
    if (chess960) first++;
    if (argc > first && std::strcmp(argv[first], "--epd") == 0) {
        if (argc <= first + 1 || argc > first + 3) return usage();
        long max_depth = argc == first + 3 ? depth_arg(argv[first + 2]) : 20;
        if (max_depth == 0) return usage();
        return perft_epd(argv[first + 1], max_depth, chess960);
    }
    if (argc <= first) return usage();
    long depth = depth_arg(argv[first]);
    if (depth == 0) return usage();
    Position* pos = position_new();
    if (!position_from_args(*pos, argc, argv, first + 1, chess960)) {
        position_free(pos);
        return 2;
    }
    RootMoveList* roots = g_new(RootMoveList, 1);
    legal_moves(*pos, *roots);
    GTimer* timer       = g_timer_new();
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < roots->count; i++) {
        make_move(*pos, roots->moves[i].move);
        std::uint64_t count = perft(*pos, int(depth) - 1);
        unmake_move(*pos);
        char text[6];
        move_to_text(roots->moves[i].move, text);
        std::printf("%s %llu\n", text, static_cast<unsigned long long>(count));
        total += count;
    }
    double seconds = g_timer_elapsed(timer, nullptr);
    auto ms        = static_cast<unsigned long long>(seconds * 1000);
    auto nps       = static_cast<unsigned long long>(seconds > 0 ? double(total) / seconds : 0);
    std::printf("nodes %llu time_ms %llu nps %llu\n", static_cast<unsigned long long>(total), ms,
                nps);
    g_timer_destroy(timer);
    g_free(roots);
    position_free(pos);
    return 0;
}

// Prints what each evaluation step adds (opening, endgame, White's view) in evaluation order,
// the phase, and "eval <score>" from the side to move's view over the full window.
int command_eval(int argc, char** argv) {
    Position* pos = position_new();
    if (!position_from_args(*pos, argc, argv, 2)) {
        position_free(pos);
        return 2;
    }
    pawn_hash_alloc();
    EvalTrace trace;
    int score = evaluate_traced(*pos, -30000, 30000, &trace);
    std::printf("%-12s %8s %8s\n", "term", "opening", "endgame");
    int opening = 0, endgame = 0;
    for (int t = 0; t < TERM_COUNT; t++) {
        if (!trace.ran[t]) continue;
        std::printf("%-12s %8d %8d\n", TERM_NAMES[t], trace.opening[t], trace.endgame[t]);
        opening += trace.opening[t];
        endgame += trace.endgame[t];
    }
    if (trace.exit == EVAL_EXIT_BITBASE_DRAW) std::printf("bitbases: draw\n");
    if (trace.exit == EVAL_EXIT_RECOGNIZED) std::printf("recognized endgame: %d\n", score);
    if (trace.exit == EVAL_EXIT_FULL) std::printf("%-12s %8d %8d\n", "total", opening, endgame);
    std::printf("phase %d\n", trace.phase);
    std::printf("eval %d\n", score);
    pawn_hash_free();
    position_free(pos);
    return 0;
}

// Walks each position of the file (one FEN or EPD line each; a few built-in ones without a
// file) and every position one legal move away, first only making and unmaking the moves, then
// also evaluating each position; prints the evaluation's average cost from the difference.
int command_evalspeed(int argc, char** argv) {
    static const char* const BUILT_IN[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P3/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    };
    std::vector<std::string> fens;
    if (argc >= 3) {
        std::ifstream file(argv[2]);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", argv[2]);
            return 2;
        }
        for (std::string line; std::getline(file, line);)
            if (!line.empty()) fens.push_back(line);
    } else {
        fens.assign(std::begin(BUILT_IN), std::end(BUILT_IN));
    }
    Position* pos       = position_new();
    RootMoveList* roots = g_new(RootMoveList, 1);
    pawn_hash_alloc();
    GTimer* timer         = g_timer_new();
    double best[2]        = {1e30, 1e30};
    long long evals       = 0;
    long long checksum    = 0;
    std::size_t positions = 0;
    constexpr int ROUNDS  = 5;
    for (int round = 0; round < ROUNDS; round++)
        for (int with_eval = 0; with_eval <= 1; with_eval++) {
            evals     = 0;
            positions = 0;
            g_timer_start(timer);
            for (const std::string& fen : fens) {
                if (!position_set_fen(*pos, fen.c_str())) continue;
                positions++;
                legal_moves(*pos, *roots);
                if (with_eval) checksum += evaluate(*pos, -30000, 30000), evals++;
                for (std::uint32_t i = 0; i < roots->count; i++) {
                    make_move(*pos, roots->moves[i].move);
                    if (with_eval) checksum += evaluate(*pos, -30000, 30000), evals++;
                    unmake_move(*pos);
                }
            }
            double seconds = g_timer_elapsed(timer, nullptr);
            if (seconds < best[with_eval]) best[with_eval] = seconds;
        }
    double ns = evals > 0 ? (best[1] - best[0]) * 1e9 / double(evals) : 0;
    std::printf("positions %zu evals %lld checksum %lld\n", positions, evals, checksum / ROUNDS);
    std::printf("ns_per_eval %.1f\n", ns);
    g_timer_destroy(timer);
    pawn_hash_free();
    g_free(roots);
    position_free(pos);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    GRand* rng = g_rand_new_with_seed(0);
    init_tables(rng);
    g_rand_free(rng);
    if (argc >= 2 && std::strcmp(argv[1], "perft") == 0) return command_perft(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "eval") == 0) return command_eval(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "bench") == 0) return command_bench(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "evalspeed") == 0) return command_evalspeed(argc, argv);
    return usage();
}
