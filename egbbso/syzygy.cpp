// Syzygy WDL tables through Fathom (libfathom): win, draw or loss under the fifty-move rule.
//
// Threads: Debian's Fathom is built without locks; it reads a table's header the first time a
// position of that ending is probed. So syzygy_open probes one position of every table while
// nothing else runs, and afterwards probes only read shared memory and take no lock.
#include "egbbso.h"

#include <tbprobe.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace egbbso {

namespace {

// Engine units of the men by kind (king, queen, rook, bishop, knight, pawn).
constexpr int MAN_VALUE[7] = {0, 0, 975, 500, 325, 300, 90};

// The score of a Syzygy win for the side that wins, see egbbso.cpp: a floor, the material edge
// (so that promoting and winning material still pay) and a push of the weaker king to the edge
// (for bishop and knight, to a corner of the bishop's colour) with the stronger king near it.
constexpr int SYZYGY_WIN      = 7000;
constexpr int SYZYGY_MAX_EDGE = 1200;

int win_score(const ProbePosition& pos, int winner) {
    int edge = 0, bishops = 0, knights = 0, others = 0, bishop_square = 0;
    int king[2] = {pos.square[0], pos.square[1]};
    for (int i = 2; i < pos.count; i++) {
        int value = MAN_VALUE[pos.kind[i]];
        edge += pos.colour[i] == winner ? value : -value;
        if (pos.colour[i] != winner) {
            others++;
        } else if (pos.kind[i] == MAN_BISHOP) {
            bishops++;
            bishop_square = pos.square[i];
        } else if (pos.kind[i] == MAN_KNIGHT) {
            knights++;
        } else {
            others++;
        }
    }
    int file = king[1 - winner] % 8, rank = king[1 - winner] / 8;
    int progress = 0;
    if (bishops == 1 && knights == 1 && others == 0) {
        bool dark  = (bishop_square % 8 + bishop_square / 8) % 2 == 0; // a1 and h8 are dark
        int corner = dark ? std::min(file + rank, 14 - file - rank)
                          : std::min(file + 7 - rank, 7 - file + rank);
        progress   = 30 * (14 - corner); // the whole way to the corner counts: up to 420
    } else {
        progress = 10 * (std::max(3 - file, file - 4) + std::max(3 - rank, rank - 4));
    }
    int wf = king[winner] % 8, wr = king[winner] / 8;
    progress += 5 * (14 - std::abs(wf - file) - std::abs(wr - rank));
    return SYZYGY_WIN + std::clamp(edge, 0, SYZYGY_MAX_EDGE) + progress;
}

unsigned fathom_wdl(const ProbePosition& pos) {
    std::uint64_t colour[2] = {0, 0}, kind[7] = {0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < pos.count; i++) {
        std::uint64_t bit = 1ull << pos.square[i];
        colour[pos.colour[i]] |= bit;
        kind[pos.kind[i]] |= bit;
    }
    return tb_probe_wdl(colour[0], colour[1], kind[MAN_KING], kind[MAN_QUEEN], kind[MAN_ROOK],
                        kind[MAN_BISHOP], kind[MAN_KNIGHT], kind[MAN_PAWN], 0, 0, 0, pos.side == 0);
}

// A position of the ending named like "KRPvKR" in which no man attacks an enemy one, so that a
// probe reads that very table: tried with a fixed sequence of placements.
bool quiet_position(const std::string& ending, ProbePosition& pos) {
    std::uint32_t seed = 12345;
    for (int attempt = 0; attempt < 2000; attempt++) {
        pos          = ProbePosition{};
        int colour   = 0;
        bool clashes = false;
        for (char c : ending) {
            if (c == 'v') {
                colour = 1;
                continue;
            }
            const char* kinds = " KQRBNP";
            int kind = int(std::strchr(kinds, c) - kinds), square = 0;
            do {
                seed   = seed * 1103515245u + 12345u;
                square = int(seed >> 16) % 64;
            } while ((pos.occupied >> square & 1) != 0 ||
                     (kind == MAN_PAWN && (square < 8 || square > 55)));
            int at = kind == MAN_KING ? colour : pos.count < 2 ? 2 : pos.count;
            if (pos.count > 5 || at > 4) return false; // the plug-in answers at most five men
            pos.kind[at]   = kind;
            pos.colour[at] = colour;
            pos.square[at] = square;
            pos.occupied |= 1ull << square;
            pos.count = std::max(pos.count, at + 1);
        }
        for (int i = 0; i < pos.count; i++)
            clashes = clashes || position_attacks(pos, 1 - pos.colour[i], pos.square[i]);
        if (!clashes) return true;
    }
    return false;
}

// True between a tb_init of a folder and the close that ends it; used once Fathom was set up.
// Written by loads while nothing probes.
bool fathom_open = false, fathom_used = false;

} // namespace

int syzygy_open(TableFolder& folder) {
    syzygy_close(false);
    if (folder.syzygy.empty() || !tb_init(folder.link_dir.c_str())) {
        folder.syzygy.clear();
        return 0;
    }
    fathom_open = true;
    std::vector<std::string> answering;
    for (const std::string& name : folder.syzygy) {
        ProbePosition pos;
        std::string ending = name.substr(0, name.size() - std::strlen(".rtbw"));
        if (!quiet_position(ending, pos)) {
            std::fprintf(stderr, "egbbso: %s left out: more than five men\n", name.c_str());
            continue;
        }
        if (fathom_wdl(pos) != TB_RESULT_FAILED)
            answering.push_back(name);
        else
            std::fprintf(stderr, "egbbso: %s does not answer\n", name.c_str());
    }
    folder.syzygy = answering;
    return int(answering.size());
}

void syzygy_close(bool last) {
    if (!fathom_open && !(last && fathom_used)) return;
    // Fathom reports every successful unmapping of a table as an error ("munmap: Success"), so
    // its standard error goes to /dev/null meanwhile; nothing else runs. An empty path closes
    // the tables and leaves Fathom ready for the next load, whereas after tb_free (which also
    // frees its lists of tables) a tb_init crashes: tb_free is kept for the module's unload.
    std::fflush(stderr);
    int saved = dup(2), null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null >= 0) dup2(null, 2);
    if (last)
        tb_free();
    else
        tb_init("");
    if (saved >= 0 && null >= 0) dup2(saved, 2);
    if (null >= 0) close(null);
    if (saved >= 0) close(saved);
    fathom_open = false;
    fathom_used = fathom_used && !last;
}

int syzygy_probe(const ProbePosition& pos) {
    // Fathom answers nothing without tables, and after a close it still lists the old ones.
    if (!fathom_open) return EGBB_UNKNOWN;
    // The side that is not to move must not be in check.
    if (position_attacks(pos, pos.side, pos.square[1 - pos.side])) return EGBB_UNKNOWN;
    switch (fathom_wdl(pos)) {
    case TB_WIN:
        return win_score(pos, pos.side);
    case TB_LOSS:
        return -win_score(pos, 1 - pos.side);
    case TB_CURSED_WIN:
    case TB_DRAW:
    case TB_BLESSED_LOSS:
        return 0; // the fifty-move rule draws the first and the last
    default:
        return EGBB_UNKNOWN;
    }
}

} // namespace egbbso
