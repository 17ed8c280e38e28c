// The endgame bitbase plug-in the engine loads at run time: two C entry points answered from the
// Gaviota tablebases (compression scheme 4) through libgaviotatb.
//
// Scores are from the side to move's view, in the engine's centipawn-like units:
//   0                       a draw;
//   EGBB_WIN - plies        a win, plies being Gaviota's distance to mate in half-moves;
//   plies - EGBB_WIN        a loss (-10000 when the side to move is mated);
//   99999                   a position the files present do not hold, or arguments that
//                           describe no legal setup.
// EGBB_WIN is 10000 and plies are capped at 1000, so every win scores 9000 to 9999: above any
// material balance of five men (three queens are 2925), rising as mate comes nearer, and far
// below the engine's mate scores (30000 less the ply of the mate).
//
// Threads: load_egbb_5men and the unload hook run while nothing probes. probe_egbb_5men may run
// on several threads at once. Gaviota locks only around its cache and file reads, and probes
// from several threads with nothing more answer wrong distances and even wrong results, so
// every Gaviota probe here runs under probe_mutex (its file reads were serialised anyway).
#include <gtb-probe.h>

#include <atomic>
#include <cstddef>
#include <mutex>

#define EGBB_EXPORT extern "C" __attribute__((visibility("default")))

EGBB_EXPORT int load_egbb_5men(const char* path, int cache_size, int load_mode);
EGBB_EXPORT int probe_egbb_5men(int side, int white_king, int black_king, int piece1, int square1,
                                int piece2, int square2, int piece3, int square3);

namespace {

constexpr int EGBB_UNKNOWN        = 99999;
constexpr int EGBB_WIN            = 10000;
constexpr unsigned EGBB_MAX_PLIES = 1000;
// The cache when the caller asks for none: Gaviota cannot probe files without one.
constexpr std::size_t EGBB_DEFAULT_CACHE = 16u << 20;

// Gaviota piece of a library piece number: 2 queen, 3 rook, 4 bishop, 5 knight, 6 pawn for
// White, the same plus 6 for Black.
constexpr unsigned char gaviota_piece(int kind) { return static_cast<unsigned char>(7 - kind); }
static_assert(gaviota_piece(2) == tb_QUEEN && gaviota_piece(6) == tb_PAWN);

// The directory list handed to Gaviota; it must live as long as the tablebases are open.
const char** tb_paths = nullptr;
// True between a load that opened the tablebases and the next load or unload. Written while
// nothing probes; relaxed is enough because the engine starts its searches after a load.
std::atomic<bool> tb_ready{false};
// Held over each Gaviota probe; see the top of this file.
std::mutex probe_mutex;

// Closes the tablebases, their cache and their files, if open.
void tablebases_close() {
    tb_ready.store(false, std::memory_order_relaxed);
    if (tbcache_is_on()) tbcache_done();
    if (tb_is_initialized()) tb_done();
    if (tb_paths != nullptr) tb_paths = tbpaths_done(tb_paths);
}

// Runs when the engine closes the module: without it each reload would leak the cache and
// keep the tablebase files open.
__attribute__((destructor, used)) void on_unload() { tablebases_close(); }

} // namespace

// Opens the Gaviota files (compression 4) found in the directory, with a distance-to-mate cache
// of cache_size bytes (a default when not positive). Any earlier load is closed first. The load
// mode is accepted for the engine's sake and changes nothing: files are read on demand. Answers
// 1 when at least one tablebase file was found, else 0; probes answer 99999 until a load opens
// the tablebases.
EGBB_EXPORT int load_egbb_5men(const char* path, int cache_size, int load_mode) {
    (void)load_mode;
    tablebases_close();
    if (path == nullptr) return 0;
    tb_paths = tbpaths_add(tbpaths_init(), path);
    if (tb_paths == nullptr) return 0;
    tb_init(0, tb_CP4, tb_paths); // answers the library's own text about the files it found
    std::size_t cache = cache_size > 0 ? std::size_t(cache_size) : EGBB_DEFAULT_CACHE;
    tbcache_init(cache, 0); // all of it for distance to mate: only those probes are made
    if (!tb_is_initialized() || !tbcache_is_on()) {
        tablebases_close();
        return 0;
    }
    tb_ready.store(true, std::memory_order_relaxed);
    return tb_availability() != 0 ? 1 : 0;
}

// The position: side 0 White or 1 Black to move, the kings' squares, and up to three more men
// as (piece number, square); square n is file n % 8 of rank n / 8, a1 = 0. An empty slot has
// piece 0. No en-passant capture or castling is possible. Answers the score described at the
// top of this file.
EGBB_EXPORT int probe_egbb_5men(int side, int white_king, int black_king, int piece1, int square1,
                                int piece2, int square2, int piece3, int square3) {
    if (!tb_ready.load(std::memory_order_relaxed) || (side != 0 && side != 1)) return EGBB_UNKNOWN;
    // Each list: the king first, then the others, closed by tb_NOSQUARE and tb_NOPIECE.
    unsigned white_squares[5], black_squares[5];
    unsigned char white_pieces[5], black_pieces[5];
    int white_count = 0, black_count = 0;
    unsigned long long used = 0;
    // Adds a man to its side's list; false when the square is off the board or taken, or a
    // pawn stands on the first or last rank (Gaviota has no index for those).
    auto place = [&](bool white, unsigned char piece, int square) {
        if (square < 0 || square > 63 || (used >> square & 1) != 0) return false;
        if (piece == tb_PAWN && (square < 8 || square > 55)) return false;
        used |= 1ULL << square;
        if (white) {
            white_squares[white_count]  = unsigned(square);
            white_pieces[white_count++] = piece;
        } else {
            black_squares[black_count]  = unsigned(square);
            black_pieces[black_count++] = piece;
        }
        return true;
    };
    if (!place(true, tb_KING, white_king) || !place(false, tb_KING, black_king))
        return EGBB_UNKNOWN;
    const int slots[3][2] = {{piece1, square1}, {piece2, square2}, {piece3, square3}};
    for (const auto& slot : slots) {
        int piece = slot[0];
        if (piece == 0) continue;
        bool white = piece >= 2 && piece <= 6;
        if (!white && !(piece >= 8 && piece <= 12)) return EGBB_UNKNOWN;
        if (!place(white, gaviota_piece(white ? piece : piece - 6), slot[1])) return EGBB_UNKNOWN;
    }
    white_squares[white_count] = tb_NOSQUARE;
    white_pieces[white_count]  = tb_NOPIECE;
    black_squares[black_count] = tb_NOSQUARE;
    black_pieces[black_count]  = tb_NOPIECE;

    unsigned info = tb_UNKNOWN, plies = 0;
    bool found = false;
    {
        std::lock_guard lock(probe_mutex);
        found = tb_probe_hard(unsigned(side), tb_NOSQUARE, tb_NOCASTLE, white_squares,
                              black_squares, white_pieces, black_pieces, &info, &plies);
    }
    if (!found) return EGBB_UNKNOWN;
    if (info == tb_DRAW) return 0;
    if (info != tb_WMATE && info != tb_BMATE) return EGBB_UNKNOWN; // an illegal setup
    int win    = EGBB_WIN - int(plies < EGBB_MAX_PLIES ? plies : EGBB_MAX_PLIES);
    int winner = info == tb_WMATE ? 0 : 1;
    return winner == side ? win : -win;
}
