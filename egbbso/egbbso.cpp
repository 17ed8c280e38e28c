// The endgame bitbase plug-in the engine loads at run time: two C entry points answered from
// Gaviota tablebases (compression scheme 4, exact distance to mate) where the ending's Gaviota
// file is present, else from Syzygy WDL tables (win, draw or loss), and a cache of recent
// answers in front of both.
//
// Scores are from the side to move's view, in the engine's centipawn-like units:
//   0               a draw, also a Syzygy win or loss that the fifty-move rule turns into a draw
//                   (the engine's search is bound by that rule too);
//   10000 - plies   a Gaviota win, plies being the distance to mate in half-moves (capped at
//                   1000), so 9000 to 9999 (10000 - plies negated for a loss; -10000 mated);
//   7000 to 8690    a Syzygy win: 7000, plus the winner's material edge (queen 975, rook 500,
//                   bishop 325, knight 300, pawn 90; 0 to 1200), plus up to 140 for the weaker
//                   king driven to the edge (with bishop and knight up to 420, to a corner the
//                   bishop covers) and up to 70 for the stronger king near it; negated for a
//                   loss;
//   99999           a position no file present holds, or arguments that describe no legal setup.
// So every tablebase win is above any evaluation of five men (three queens are 2925, and the
// engine adds its positional terms on top of these scores), a Syzygy win rises when material
// is won, a pawn promotes or the mate comes nearer, and reaching a Gaviota-covered or mated
// position scores above every Syzygy win; all stay far below the engine's mate scores (30000
// less the ply of the mate).
//
// Threads: load_egbb_5men and the unload hook run while nothing probes. probe_egbb_5men runs on
// several threads at once: the answer cache is lockless, Syzygy probes take no lock, Gaviota
// probes are serialised (see gaviota.cpp).
#include "egbbso.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>

#define EGBB_EXPORT extern "C" __attribute__((visibility("default")))

EGBB_EXPORT int load_egbb_5men(const char* path, int cache_size, int load_mode);
EGBB_EXPORT int probe_egbb_5men(int side, int white_king, int black_king, int piece1, int square1,
                                int piece2, int square2, int piece3, int square3);

namespace egbbso {

namespace {

// The cache when the caller asks for none.
constexpr std::size_t EGBB_DEFAULT_CACHE = 16u << 20;
// The share of the cache that keeps answers; the rest is Gaviota's.
constexpr std::size_t ANSWER_SHARE = 4;
constexpr int MIN_ANSWER_BITS      = 12;

// Recent answers, one 64-bit word per slot: bits 21 to 63 the probe's arguments (side, the
// kings' squares, three pieces and their squares: 1 + 2 * 6 + 3 * 10 = 43 bits), bit 20 set in
// every used slot, bits 0 to 16 the score plus 10000. Each word is read and written whole as a
// relaxed atomic (std::atomic_ref on words the system maps and zeroes when first touched), so a
// slot holds one complete answer or another and a lost write only costs a later probe; the key
// is the whole argument list, so a match is never another position's.
// The slots come in buckets of eight, one 64-byte line: a probe reads one line whichever slot
// holds its answer, and a new answer goes first in its bucket and pushes the oldest one out,
// which keeps more of a search's repeated positions than one slot per key does.
std::uint64_t* answers = nullptr;
int answer_bits        = 0;
// The mapping that holds answers: the table starts at its first 2 MiB boundary and asks for
// huge pages, because with 4 KiB pages nearly every probe of a table of megabytes also waits
// for a page-table walk besides the memory read.
void* answer_memory                 = nullptr;
std::size_t answer_memory_bytes     = 0;
constexpr std::size_t HUGE_PAGE     = std::size_t(2) << 20;
constexpr std::uint64_t ANSWER_USED = 1ull << 20;
constexpr int ANSWER_OFFSET         = 10000;
constexpr int BUCKET_BITS           = 3;
constexpr int BUCKET_SLOTS          = 1 << BUCKET_BITS;

// The folder the libraries read from; set by a load, removed by the next load or the unload.
// A pointer, because the unload hook runs after the module's static objects are destroyed.
TableFolder* folder = nullptr;
// True between a load and the next load or unload. Written while nothing probes; relaxed is
// enough because the engine starts its searches after a load.
std::atomic<bool> tb_ready{false};

// Library piece number 2 to 6 (White) or 8 to 12 (Black) as a kind and a colour.
bool piece_of(int piece, int& kind, int& colour) {
    colour = piece >= 8 ? 1 : 0;
    kind   = piece - 6 * colour;
    return piece >= 2 && piece <= 12 && piece != 7;
}

void tablebases_close(bool last) {
    tb_ready.store(false, std::memory_order_relaxed);
    gaviota_close();
    syzygy_close(last);
    if (folder != nullptr) table_folder_close(*folder);
    delete folder;
    folder = nullptr;
    if (answer_memory != nullptr) munmap(answer_memory, answer_memory_bytes);
    answer_memory       = nullptr;
    answer_memory_bytes = 0;
    answers             = nullptr;
    answer_bits         = 0;
}

// Runs when the engine closes the module: without it each reload would leak the caches, keep
// the tablebase files open and leave the folder of links behind.
__attribute__((destructor, used)) void on_unload() { tablebases_close(true); }

// The first slot of the key's bucket.
std::size_t answer_bucket(std::uint64_t key) {
    return std::size_t((key * 0x9E3779B97F4A7C15ull) >> (64 - answer_bits + BUCKET_BITS))
           << BUCKET_BITS;
}

} // namespace

bool position_attacks(const ProbePosition& pos, int by, int square) {
    int file = square % 8, rank = square / 8;
    for (int i = 0; i < pos.count; i++) {
        if (pos.colour[i] != by || pos.square[i] == square) continue;
        int df = file - pos.square[i] % 8, dr = rank - pos.square[i] / 8;
        int af = std::abs(df), ar = std::abs(dr);
        switch (pos.kind[i]) {
        case MAN_KING:
            if (af <= 1 && ar <= 1) return true;
            break;
        case MAN_KNIGHT:
            if (af * ar == 2) return true;
            break;
        case MAN_PAWN:
            if (af == 1 && dr == (by == 0 ? 1 : -1)) return true;
            break;
        default: {
            bool straight = df == 0 || dr == 0, diagonal = af == ar;
            bool moves = pos.kind[i] == MAN_QUEEN  ? straight || diagonal
                         : pos.kind[i] == MAN_ROOK ? straight
                                                   : diagonal;
            if (!moves) break;
            int step = (dr > 0) - (dr < 0), side_step = (df > 0) - (df < 0);
            int at       = pos.square[i] + 8 * step + side_step;
            bool blocked = false;
            for (; at != square; at += 8 * step + side_step)
                blocked |= (pos.occupied >> at & 1) != 0;
            if (!blocked) return true;
        }
        }
    }
    return false;
}

std::uint32_t position_material(const ProbePosition& pos, bool swap_colours) {
    std::uint32_t key = 0;
    for (int i = 2; i < pos.count; i++) {
        int colour = swap_colours ? 1 - pos.colour[i] : pos.colour[i];
        key += 1u << 2 * (5 * colour + pos.kind[i] - MAN_QUEEN);
    }
    return key;
}

} // namespace egbbso

using namespace egbbso;

// Opens the Gaviota (*.gtb.cp4) and Syzygy WDL (*.rtbw) files found in the folders of path
// (separated by ':'; Gaviota files from the first only, and a Syzygy file of a later folder
// before one of the same name), leaving out, with a line on standard error, each one that
// cannot be trusted; the cache is cache_size
// bytes (a default when not positive), a quarter for recent answers and the rest for Gaviota.
// Any earlier load is closed first. The load mode is accepted for the engine's sake and changes
// nothing: files are read on demand. Says on standard error how many tables of each format
// answer; answers 1 when there is at least one, else 0. Probes answer 99999 until a load.
EGBB_EXPORT int load_egbb_5men(const char* path, int cache_size, int load_mode) {
    (void)load_mode;
    tablebases_close(false);
    if (path == nullptr) return 0;
    std::size_t cache = cache_size > 0 ? std::size_t(cache_size) : EGBB_DEFAULT_CACHE;
    folder            = new TableFolder;
    table_folder_open(path, *folder);
    if (!gaviota_open(*folder, cache - cache / ANSWER_SHARE)) folder->gaviota.clear();
    int gaviota = int(folder->gaviota.size());
    int syzygy  = syzygy_open(*folder);
    table_folder_release(*folder);
    std::fprintf(stderr, "egbbso: %d Gaviota and %d Syzygy tables in %s\n", gaviota, syzygy, path);
    answer_bits = MIN_ANSWER_BITS;
    while ((std::size_t(2) << answer_bits) * sizeof(std::uint64_t) <= cache / ANSWER_SHARE)
        answer_bits++;
    std::size_t bytes   = (std::size_t(1) << answer_bits) * sizeof(std::uint64_t);
    answer_memory_bytes = bytes + (bytes >= HUGE_PAGE ? HUGE_PAGE : 0);
    answer_memory       = mmap(nullptr, answer_memory_bytes, PROT_READ | PROT_WRITE,
                               MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (answer_memory == MAP_FAILED) {
        answer_memory = nullptr;
        tablebases_close(false);
        return 0;
    }
    auto start = reinterpret_cast<std::uintptr_t>(answer_memory);
    if (bytes >= HUGE_PAGE) {
        start = (start + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
#ifdef MADV_HUGEPAGE
        madvise(reinterpret_cast<void*>(start), bytes, MADV_HUGEPAGE); // a hint only
#endif
    }
    answers = reinterpret_cast<std::uint64_t*>(start);
    tb_ready.store(true, std::memory_order_relaxed);
    return gaviota + syzygy > 0 ? 1 : 0;
}

// The position: side 0 White or 1 Black to move, the kings' squares, and up to three more men
// as (piece number, square); square n is file n % 8 of rank n / 8, a1 = 0. An empty slot has
// piece 0. No en-passant capture or castling is possible. Answers the score described at the
// top of this file.
EGBB_EXPORT int probe_egbb_5men(int side, int white_king, int black_king, int piece1, int square1,
                                int piece2, int square2, int piece3, int square3) {
    if (!tb_ready.load(std::memory_order_relaxed) || (side != 0 && side != 1)) return EGBB_UNKNOWN;
    // The cache first: the key packs every argument, each checked to fit its field, and only
    // answers for arguments that passed every check below are stored, so a hit needs no more.
    auto on_board         = [](int square) { return square >= 0 && square <= 63; };
    const int slots[3][2] = {{piece1, square1}, {piece2, square2}, {piece3, square3}};
    if (!on_board(white_king) || !on_board(black_king)) return EGBB_UNKNOWN;
    std::uint64_t key =
        std::uint64_t(side) | std::uint64_t(white_king) << 1 | std::uint64_t(black_king) << 7;
    for (int slot = 0; slot < 3; slot++) {
        int piece = slots[slot][0], square = slots[slot][1];
        if (piece == 0) continue;
        if (piece < 0 || piece > 12 || !on_board(square)) return EGBB_UNKNOWN;
        key |= (std::uint64_t(piece) | std::uint64_t(square) << 4) << (13 + 10 * slot);
    }
    std::uint64_t* bucket = answers + answer_bucket(key);
    for (int slot = 0; slot < BUCKET_SLOTS; slot++) {
        std::uint64_t word = std::atomic_ref(bucket[slot]).load(std::memory_order_relaxed);
        if (word >> 21 == key && (word & ANSWER_USED) != 0)
            return int(word & 0x1ffff) - ANSWER_OFFSET;
    }

    ProbePosition pos{};
    pos.side = side;
    // Adds a man; false when the square is taken or a pawn stands on the first or last rank.
    auto place = [&](int kind, int colour, int square) {
        if ((pos.occupied >> square & 1) != 0) return false;
        if (kind == MAN_PAWN && (square < 8 || square > 55)) return false;
        pos.occupied |= 1ull << square;
        pos.kind[pos.count]     = kind;
        pos.colour[pos.count]   = colour;
        pos.square[pos.count++] = square;
        return true;
    };
    if (!place(MAN_KING, 0, white_king) || !place(MAN_KING, 1, black_king)) return EGBB_UNKNOWN;
    for (int slot = 0; slot < 3; slot++) {
        int piece = slots[slot][0], kind = 0, colour = 0;
        if (piece == 0) continue;
        if (!piece_of(piece, kind, colour) || !place(kind, colour, slots[slot][1]))
            return EGBB_UNKNOWN;
    }

    int score = gaviota_covers(pos) ? gaviota_probe(pos) : EGBB_UNKNOWN;
    if (score == EGBB_UNKNOWN) score = syzygy_probe(pos);
    // Oldest out: another thread doing the same at once may leave an answer twice or drop one,
    // never a torn word.
    for (int slot = BUCKET_SLOTS - 1; slot > 0; slot--)
        std::atomic_ref(bucket[slot])
            .store(std::atomic_ref(bucket[slot - 1]).load(std::memory_order_relaxed),
                   std::memory_order_relaxed);
    std::atomic_ref(bucket[0]).store(key << 21 | ANSWER_USED | std::uint64_t(score + ANSWER_OFFSET),
                                     std::memory_order_relaxed);
    return score;
}
