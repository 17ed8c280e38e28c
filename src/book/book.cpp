// The Polyglot book: opening and closing the file, reading entries, the Polyglot key, and the
// lookup with its weighted random choice. Every lookup seeks and reads; nothing is cached.
#include "book/book.h"

#include "base/data_paths.h"
#include "base/options.h"
#include "base/output.h"
#include "moves/picker.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbelin {

// Prints one "info string" line about the book path and flushes.
static void book_report(const char* outcome) {
    output_printf("info string book (%s) %s\n", book_path, outcome);
}

void bookClose() {
    if (book_file != nullptr && std::fclose(book_file) != 0)
        std::fprintf(stderr, "bookClose(): fclose(): %s\n",
                     std::strerror(errno)); // message text kept as is
    book_file   = nullptr;
    entry_count = 0;
    if (book_rand != nullptr) g_rand_free(book_rand);
    book_rand = nullptr;
}

// Drops a file that opened but turned out not to be a readable book.
static void book_refuse(std::FILE* file) {
    std::fclose(file);
    book_file   = nullptr;
    entry_count = 0;
    book_report("not loaded");
}

// Opens the path for reading only when it names a regular file holding at least one whole
// entry: a FIFO would block the open (and every later command) until a writer came, and a
// device or an empty file is no book. Answers the stream, or null.
static std::FILE* open_book_file(const char* path) {
    // Opening without waiting returns at once also for a FIFO that has no writer.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 16) {
        close(fd);
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) close(fd);
    return file;
}

// The path to open: "Book File" as it is, unless it is the default and the working directory has
// no such file; then the book of the repository beside a build tree (the executable in
// <root>/build/) or of an installed engine (PREFIX/bin/../share/orbelin/) when there is one.
static void resolve_book_path() {
    g_strlcpy(book_path, option_book_file, sizeof book_path);
    if (option_book_file_given || std::strcmp(option_book_file, BOOK_FILE_DEFAULT) != 0 ||
        path_exists(option_book_file))
        return;
    for (const char* place : {"../performance.bin", "../share/orbelin/performance.bin"}) {
        char candidate[sizeof book_path];
        if (beside_executable(place, candidate, sizeof candidate) && path_exists(candidate)) {
            g_strlcpy(book_path, candidate, sizeof book_path);
            return;
        }
    }
}

void bookOpen() {
    bookClose();
    resolve_book_path();
    std::FILE* file = open_book_file(book_path);
    if (file == nullptr) {
        book_report("not loaded");
        return;
    }
    if (std::fseek(file, 0, SEEK_END) != 0) {
        std::fprintf(stderr, "bookOpen(): fseek(): %s\n",
                     std::strerror(errno)); // message text kept as is
        book_refuse(file);
        return;
    }
    long size = std::ftell(file);
    if (size < 0) {
        std::fprintf(stderr, "bookOpen(): ftell(): %s\n",
                     std::strerror(errno)); // message text kept as is
        book_refuse(file);
        return;
    }
    book_file   = file;
    entry_count = size / 16; // a trailing partial entry is ignored
    // The first entry must read: a file that changed since its size was taken is no book.
    BookEntry first;
    if (entry_count == 0 || !readEntry(first, 0)) {
        book_refuse(file);
        return;
    }
    book_rand = g_rand_new();
    book_report("loaded");
}

bool readInteger(std::FILE* file, int n, std::uint64_t& value) {
    value = 0;
    for (int i = 0; i < n; i++) {
        int c = std::fgetc(file);
        if (c == EOF) {
            if (std::feof(file))
                std::fprintf(stderr, "readInteger(): fgetc(): EOF reached\n"); // kept as is
            else
                std::fprintf(stderr, "readInteger(): fgetc(): %s\n",
                             std::strerror(errno)); // message text kept as is
            return false;
        }
        value = value << 8 | unsigned(c);
    }
    return true;
}

bool readEntry(BookEntry& entry, std::int64_t index) {
    if (std::fseek(book_file, long(16 * index), SEEK_SET) != 0) {
        std::fprintf(stderr, "readEntry(): fseek(): %s\n",
                     std::strerror(errno)); // message text kept as is
        return false;
    }
    std::uint64_t key, move, weight, learn_high, learn_low;
    if (!readInteger(book_file, 8, key) || !readInteger(book_file, 2, move) ||
        !readInteger(book_file, 2, weight) || !readInteger(book_file, 2, learn_high) ||
        !readInteger(book_file, 2, learn_low))
        return false;
    entry = {key,
             std::uint16_t(move),
             std::uint16_t(weight),
             {std::uint16_t(learn_high), std::uint16_t(learn_low)}};
    return true;
}

std::uint64_t polyglot_key(const Position& pos) {
    std::uint64_t key = 0;
    for (int square = 0; square < 64; square++)
        if (pos.board[square] != EMPTY)
            key ^= Random64[64 * ((pos.board[square] - 2) ^ 1) + square];
    for (int i = 0; i < 4; i++)
        if (pos.castling >> i & 1) key ^= Random64[768 + i];
    // The file counts only when a pawn of the side to move stands beside the pawn that has just
    // made the double push, whether or not its capture would be legal. A FEN gives the square
    // after every double push, and the engine's own rule need not be this one, so the board
    // decides.
    if (pos.ep_square != 0) {
        int pushed      = pos.side == WHITE ? pos.ep_square - 8 : pos.ep_square + 8;
        Bitboard beside = ((bit(pushed) >> 1) & ~FILE_H) | ((bit(pushed) << 1) & ~FILE_A);
        if (pos.board[pushed] == (WHITE_PAWN | (pos.side ^ 1)) &&
            (beside & pos.bitboards[WHITE_PAWN | pos.side]))
            key ^= Random64[772 + file_of(pos.ep_square)];
    }
    if (pos.side == WHITE) key ^= Random64[780];
    return key;
}

bool book_available() { return option_own_book != 0 && book_file != nullptr; }

// The Polyglot promotion number of a move type (5, 7, 9, 11 give 1 to 4), 0 for the rest.
constexpr int polyglot_promo_of(int type) {
    return type >= MOVE_PROMO_KNIGHT && type <= MOVE_PROMO_QUEEN ? (type - 3) / 2 : 0;
}
static_assert(polyglot_promo_of(MOVE_PROMO_KNIGHT) == POLYGLOT_PROMO_KNIGHT);
static_assert(polyglot_promo_of(MOVE_PROMO_QUEEN) == POLYGLOT_PROMO_QUEEN);
static_assert(polyglot_promo_of(MOVE_CAPTURE) == POLYGLOT_PROMO_NONE);

// True when the book move stands for the engine's move: castling is written as the king
// moving onto its rook's corner (e1h1 for e1g1, e1a1 for e1c1), promotions by their piece.
static bool book_denotes(unsigned book, Move move) {
    int from = move_from(move);
    int to   = move_to(move);
    if (move_type(move) == MOVE_CASTLE) to = to > from ? from + 3 : from - 4;
    return polyglot_from(book) == from && polyglot_to(book) == to &&
           polyglot_promo(book) == polyglot_promo_of(move_type(move));
}

// A read that fails after a successful open (the file was cut short, replaced or became
// unreadable): the book is closed so that this and every later "go" searches instead.
static Move book_read_failed() {
    std::fprintf(stderr, "Book (%s) closed after a failed read\n", option_book_file);
    bookClose();
    return 0;
}

Move book_move(Position& pos, unsigned* weight, unsigned* total_weight) {
    if (book_file == nullptr || entry_count == 0) return 0;
    const std::uint64_t key = polyglot_key(pos);

    // Halving search for the first entry whose key is not below the position's.
    BookEntry entry;
    std::int64_t lo = 0;
    std::int64_t hi = entry_count - 1;
    while (lo < hi) {
        std::int64_t mid = lo + (hi - lo) / 2;
        if (!readEntry(entry, mid)) return book_read_failed();
        if (entry.key < key)
            lo = mid + 1;
        else
            hi = mid;
    }

    // One pass over the run of the key: each entry replaces the choice with probability
    // weight / (weights so far), so it ends up chosen with weight / (weights of the run).
    // r stays in double precision: it is then exact for any run below 2^21 in total weight,
    // so an entry that carries all the weight so far is always taken.
    std::uint64_t total = 0;
    unsigned chosen = 0, chosen_weight = 0;
    for (std::int64_t i = lo; i < entry_count; i++) {
        if (!readEntry(entry, i)) return book_read_failed();
        if (entry.key != key) break;
        total += entry.weight;
        double r = g_rand_int(book_rand) * (1.0 / 4294967296.0) * double(total);
        if (entry.weight > r) chosen = entry.move, chosen_weight = entry.weight;
    }
    if (chosen == 0) return 0;
    if (weight != nullptr) *weight = chosen_weight;
    if (total_weight != nullptr) *total_weight = unsigned(std::min<std::uint64_t>(total, ~0u));

    // Played only as one of the position's legal moves.
    RootMoveList legal;
    legal_moves(pos, legal);
    for (std::uint32_t i = 0; i < legal.count; i++)
        if (book_denotes(chosen, legal.moves[i].move)) return legal.moves[i].move;
    return 0;
}

} // namespace orbelin
