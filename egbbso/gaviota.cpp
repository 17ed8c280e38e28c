// Gaviota tablebases (compression scheme 4) through libgaviotatb: exact distance to mate.
//
// Threads: open and close run while nothing probes. Gaviota locks only around its cache and
// file reads, and probes from several threads with nothing more answer wrong distances and even
// wrong results, so every Gaviota probe runs under probe_mutex (its file reads were serialised
// anyway). The plug-in's answer cache keeps repeated positions away from this lock.
#include "egbbso.h"

#include <gtb-probe.h>

#include <array>
#include <dlfcn.h>
#include <mutex>

namespace egbbso {

namespace {

constexpr int GAVIOTA_WIN         = 10000;
constexpr unsigned GAVIOTA_PLIES  = 1000;
constexpr std::size_t MIN_CACHE   = 1u << 20;
constexpr unsigned char TB_MEN[7] = {tb_NOPIECE, tb_KING,   tb_QUEEN, tb_ROOK,
                                     tb_BISHOP,  tb_KNIGHT, tb_PAWN};

// The directory list handed to Gaviota; it must live as long as the tablebases are open.
const char** tb_paths = nullptr;
// Endings with an open file, by material key (both colour orders). Written while nothing
// probes.
std::array<std::uint64_t, (1u << 20) / 64> covered{};
std::mutex probe_mutex;

// Material key of a Gaviota file name such as "kqkr.gtb.cp4".
std::uint32_t name_material(const std::string& name, bool swap_colours) {
    std::uint32_t key = 0;
    int colour        = -1;
    for (char c : name) {
        if (c == '.') break;
        if (c == 'k') {
            colour++;
            continue;
        }
        int kind = c == 'q' ? 0 : c == 'r' ? 1 : c == 'b' ? 2 : c == 'n' ? 3 : 4;
        key += 1u << 2 * (5 * (swap_colours ? 1 - colour : colour) + kind);
    }
    return key;
}

// Gaviota's tb_init. Fathom exports a tb_init of its own, which the plug-in is linked to find
// first (Fathom's tb_free calls it), so Gaviota's is looked up in Gaviota's library itself.
using GaviotaInit = char* (*)(int verbosity, int compression, const char** paths);
GaviotaInit gaviota_init() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&tb_probe_hard), &info) == 0) return nullptr;
    void* library = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (library == nullptr) return nullptr;
    auto init = reinterpret_cast<GaviotaInit>(dlsym(library, "tb_init"));
    dlclose(library); // the plug-in keeps the library loaded
    return init;
}

} // namespace

bool gaviota_open(const TableFolder& folder, std::size_t cache_bytes) {
    gaviota_close();
    if (folder.gaviota.empty()) return false;
    GaviotaInit init = gaviota_init();
    if (init == nullptr) return false;
    tb_paths = tbpaths_add(tbpaths_init(), folder.link_dir.c_str());
    if (tb_paths == nullptr) return false;
    init(0, tb_CP4, tb_paths); // answers the library's own text about the files it found
    tbcache_init(cache_bytes > MIN_CACHE ? cache_bytes : MIN_CACHE, 0); // distance to mate only
    if (!tb_is_initialized() || !tbcache_is_on()) {
        gaviota_close();
        return false;
    }
    for (const std::string& name : folder.gaviota)
        for (bool swap : {false, true}) {
            std::uint32_t key = name_material(name, swap);
            covered[key / 64] |= 1ull << key % 64;
        }
    return true;
}

void gaviota_close() {
    covered.fill(0);
    if (tbcache_is_on()) tbcache_done();
    if (tb_is_initialized()) tb_done();
    if (tb_paths != nullptr) tb_paths = tbpaths_done(tb_paths);
}

bool gaviota_covers(const ProbePosition& pos) {
    std::uint32_t key = position_material(pos, false);
    return (covered[key / 64] >> key % 64 & 1) != 0;
}

int gaviota_probe(const ProbePosition& pos) {
    // Each list: the king first, then the others, closed by tb_NOSQUARE and tb_NOPIECE.
    unsigned squares[2][6];
    unsigned char men[2][6];
    int count[2] = {0, 0};
    for (int i = 0; i < pos.count; i++) {
        int colour                     = pos.colour[i];
        squares[colour][count[colour]] = unsigned(pos.square[i]);
        men[colour][count[colour]++]   = TB_MEN[pos.kind[i]];
    }
    for (int colour = 0; colour < 2; colour++) {
        squares[colour][count[colour]] = tb_NOSQUARE;
        men[colour][count[colour]]     = tb_NOPIECE;
    }
    unsigned info = tb_UNKNOWN, plies = 0;
    bool found = false;
    {
        std::lock_guard lock(probe_mutex);
        found = tb_probe_hard(unsigned(pos.side), tb_NOSQUARE, tb_NOCASTLE, squares[0], squares[1],
                              men[0], men[1], &info, &plies);
    }
    if (!found) return EGBB_UNKNOWN;
    if (info == tb_DRAW) return 0;
    if (info != tb_WMATE && info != tb_BMATE) return EGBB_UNKNOWN; // an illegal setup
    int win = GAVIOTA_WIN - int(plies < GAVIOTA_PLIES ? plies : GAVIOTA_PLIES);
    return (info == tb_WMATE ? 0 : 1) == pos.side ? win : -win;
}

} // namespace egbbso
