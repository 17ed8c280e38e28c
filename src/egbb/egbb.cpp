// Bitbase plug-in loading (main thread, no search running) and the probe wrapper (every
// searching thread at once).
#include "egbb/egbb.h"

#include "base/data_paths.h"
#include "base/options.h"
#include "base/output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <glib.h>
#include <gmodule.h>

namespace orbelin {

using EgbbLoad  = int (*)(const char* path, int cache_size, int load_mode);
using EgbbProbe = int (*)(int side, int white_king, int black_king, int piece1, int square1,
                          int piece2, int square2, int piece3, int square3);

// The open library, or none. Main thread only.
static GModule* egbb_module = nullptr;
// The library's probe entry, or none. Written by the main thread while no search runs, read by
// every searching thread; those start after the write, so relaxed is enough.
static std::atomic<EgbbProbe> egbb_probe{nullptr};

void bitbases_unload() {
    egbb_probe.store(nullptr, std::memory_order_relaxed);
    if (egbb_module != nullptr) g_module_close(egbb_module);
    egbb_module = nullptr;
}

// The module loader's text about its last failure.
static const char* loader_error() {
    const gchar* error = g_module_error();
    return error != nullptr ? error : "unknown module error";
}

// Looks up an entry point of the open library: its address, or none after printing why in the
// form of the loader's message for a missing library.
static gpointer entry_point(const char* name, const char* module_path) {
    gpointer address = nullptr;
    if (!g_module_symbol(egbb_module, name, &address)) {
        output_printf("info string %s (%s)\n", loader_error(), module_path);
        return nullptr;
    }
    if (address == nullptr)
        output_printf("info string Symbol %s is NULL (%s)\n", name, module_path);
    return address;
}

// The folder of the plug-in and the folder of its tables: "Bitbases Path" for both, unless it is
// the default and the working directory has no plug-in there; then the first that has one of
// the repository's ./egbb/ beside a build tree (the executable in <root>/build/), the build's
// own egbb/ folder, and an installed engine's PREFIX/lib/orbelin/ with the tables in
// PREFIX/share/orbelin/egbb/. Answers false (after saying so) for a path too long to load.
static bool resolve_bitbases_dirs(char* module_dir, char* tables_dir, std::size_t size) {
    g_strlcpy(module_dir, option_bitbases_path, size);
    g_strlcpy(tables_dir, option_bitbases_path, size);
    char module_path[256];
    int length = g_snprintf(module_path, sizeof module_path, "%s/egbbso.so", option_bitbases_path);
    if (length < 0 || length >= int(sizeof module_path)) {
        std::fprintf(stderr, "Bitbases Path is too long (%zu characters, at most %d)\n",
                     std::strlen(option_bitbases_path), BITBASES_PATH_MAX);
        return false;
    }
    if (option_bitbases_path_given ||
        std::strcmp(option_bitbases_path, BITBASES_PATH_DEFAULT) != 0 || path_exists(module_path))
        return true;
    static constexpr struct {
        const char* module;
        const char* tables;
    } PLACES[] = {
        {"../egbb", "../egbb"}, {"egbb", "egbb"}, {"../lib/orbelin", "../share/orbelin/egbb"}};
    for (const auto& place : PLACES) {
        char module[4096], tables[4096], plug_in[4096 + 16];
        if (!beside_executable(place.module, module, sizeof module) ||
            !beside_executable(place.tables, tables, sizeof tables))
            continue;
        g_snprintf(plug_in, sizeof plug_in, "%s/egbbso.so", module);
        if (!path_exists(plug_in) || std::strlen(module) >= size || std::strlen(tables) >= size)
            continue;
        g_strlcpy(module_dir, module, size);
        g_strlcpy(tables_dir, tables, size);
        return true;
    }
    return true;
}

void bitbases_load() {
    // The old library goes first, whatever happens next.
    bitbases_unload();
    char module_dir[4096], tables_dir[4096];
    if (!resolve_bitbases_dirs(module_dir, tables_dir, sizeof module_dir)) return;
    // The module path; the default directory "./egbb/" gives "./egbb//egbbso.so", which the
    // system reads as one slash.
    char module_path[4096 + 16];
    g_snprintf(module_path, sizeof module_path, "%s/egbbso.so", module_dir);
    // A library that cannot be opened leaves the engine without bitbases.
    egbb_module = g_module_open(module_path, G_MODULE_BIND_LAZY);
    if (egbb_module == nullptr) {
        output_printf("info string %s (%s)\n", loader_error(), module_path);
        return;
    }
    // So does a library without both entry points: it is closed again.
    auto load = reinterpret_cast<EgbbLoad>(entry_point("load_egbb_5men", module_path));
    auto probe =
        load ? reinterpret_cast<EgbbProbe>(entry_point("probe_egbb_5men", module_path)) : nullptr;
    if (probe == nullptr) {
        bitbases_unload();
        return;
    }
    // The load entry's answer is not used: a library that found no files answers every
    // probe with "unknown".
    // The plug-in takes a list of table folders separated by ':': the bitbase folder first, then
    // the folders of "SyzygyPath", whose Syzygy tables come before any of the same name.
    int cache_mb = std::clamp(option_bitbases_cache, 1, 256);
    const bool syzygy =
        option_syzygy_path[0] != '\0' && std::strcmp(option_syzygy_path, "<empty>") != 0;
    gchar* folders =
        syzygy ? g_strconcat(tables_dir, ":", option_syzygy_path, nullptr) : g_strdup(tables_dir);
    load(folders, cache_mb * 1048576, 2);
    egbb_probe.store(probe, std::memory_order_relaxed);
    if (std::strcmp(module_dir, tables_dir) == 0 && !syzygy)
        output_printf("info string endgame bitbases loaded (%s)\n", module_path);
    else
        output_printf("info string endgame bitbases loaded (%s, tables in %s)\n", module_path,
                      folders);
    g_free(folders);
}

bool bitbases_available() { return egbb_probe.load(std::memory_order_relaxed) != nullptr; }

bool bitbase_probe(const Position& pos, int& score) {
    EgbbProbe probe = egbb_probe.load(std::memory_order_relaxed);
    if (probe == nullptr) return false;
    // The library's arguments carry no en-passant square and no castling rights, so positions
    // with either are not its business (a king and rook on their squares keep their rights
    // with only three men on the board).
    if (pos.ep_square != 0 || pos.castling != 0) return false;
    // Men other than the kings, in ascending square order; empty slots stay (0, 0).
    int pieces[3] = {0, 0, 0}, squares[3] = {0, 0, 0};
    int filled   = 0;
    Bitboard men = occupancy(pos) & ~(pos.bitboards[WHITE_KING] | pos.bitboards[BLACK_KING]);
    while (men != 0) {
        if (filled == 3) return false; // more than five men: not the library's business
        int square        = pop_lsb(men);
        pieces[filled]    = egbb_piece[pos.board[square]];
        squares[filled++] = square;
    }
    score = probe(pos.side, lsb(pos.bitboards[WHITE_KING]), lsb(pos.bitboards[BLACK_KING]),
                  pieces[0], squares[0], pieces[1], squares[1], pieces[2], squares[2]);
    if (score == EGBB_UNKNOWN) return false;
    bbhits.store(bbhits.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    return true;
}

} // namespace orbelin
