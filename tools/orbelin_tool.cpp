// orbelin-tool: developer commands over the engine's own code (perft).
#include "board/fen.h"
#include "board/tables.h"
#include "moves/make.h"
#include "moves/perft.h"
#include "moves/picker.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <glib.h>
#include <string>

using namespace orbelin;

namespace {

int usage() {
    std::fprintf(stderr, "usage: orbelin-tool perft <depth> [<fen>]\n"
                         "  the FEN may be one quoted argument or its separate words\n");
    return 2;
}

// The FEN given as one argument or as several words, or the start position when none.
bool position_from_args(Position& pos, int argc, char** argv, int first) {
    if (first >= argc) {
        position_set_start(pos);
        return true;
    }
    std::string fen;
    for (int i = first; i < argc; i++)
        fen += std::string(i > first ? " " : "") + argv[i];
    return position_set_fen(pos, fen.c_str());
}

int command_perft(int argc, char** argv) {
    if (argc < 3) return usage();
    char* end  = nullptr;
    long depth = std::strtol(argv[2], &end, 10);
    if (*end != '\0' || depth < 1 || depth > 20) return usage();
    Position* pos = position_new();
    if (!position_from_args(*pos, argc, argv, 3)) {
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

} // namespace

int main(int argc, char** argv) {
    GRand* rng = g_rand_new_with_seed(0);
    init_tables(rng);
    g_rand_free(rng);
    if (argc >= 2 && std::strcmp(argv[1], "perft") == 0) return command_perft(argc, argv);
    return usage();
}
