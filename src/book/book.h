#pragma once
// The opening book: a Polyglot book file looked up on disk, never loaded into memory.
// Opened and closed by the main thread (start-up, "setoption", "quit") while no search runs;
// read by the search thread once per "go", which also closes it after a failed read.
#include "board/position.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <glib.h>

namespace orbelin {

// One 16-byte book entry as read from the file; on disk every field is big-endian and the
// entries are sorted by key, ascending.
struct BookEntry {
    std::uint64_t key;      // Polyglot key of the position
    std::uint16_t move;     // Polyglot move: see POLYGLOT_* below
    std::uint16_t weight;   // relative weight; 0 is never chosen
    std::uint16_t learn[2]; // read, not used
};

// Polyglot move word: bits 0-5 the to-square, 6-11 the from-square (both numbered as the
// engine's squares), 12-14 the promotion piece. Castling is the king moving onto its own rook.
// Example: e7e8q is 52 << 6 | 60 | 4 << 12 = 0x4D3C.
constexpr int POLYGLOT_PROMO_NONE   = 0;
constexpr int POLYGLOT_PROMO_KNIGHT = 1;
constexpr int POLYGLOT_PROMO_BISHOP = 2;
constexpr int POLYGLOT_PROMO_ROOK   = 3;
constexpr int POLYGLOT_PROMO_QUEEN  = 4;
constexpr int polyglot_to(unsigned move) { return int(move & 63); }
constexpr int polyglot_from(unsigned move) { return int(move >> 6 & 63); }
constexpr int polyglot_promo(unsigned move) { return int(move >> 12 & 7); }
static_assert(polyglot_from(0x4D3C) == 52 && polyglot_to(0x4D3C) == 60);
static_assert(polyglot_promo(0x4D3C) == POLYGLOT_PROMO_QUEEN);

// The published Polyglot random numbers: 64 * kind + square for the pieces (kind 0 black pawn,
// 1 white pawn, ... 11 white king), 768 + i for castling right 1 << i, 772 + file for the
// en-passant file, 780 for White to move.
extern const std::array<std::uint64_t, 781> Random64;

// The path the book was last opened from: "Book File", or where the default book was found when
// the working directory has none. Written by bookOpen.
inline char book_path[4096] = "";
// The open book file, or null when there is none. Its whole 16-byte entries: entry_count.
inline std::FILE* book_file;
inline std::int64_t entry_count;
// The book's own generator, seeded non-deterministically at each open, freed at each close.
inline GRand* book_rand;

// Closes any open book, then opens option_book_file (or, for the default path, where the default
// book was found; see book_path). Prints "info string book (%s) loaded" or "... not loaded" with
// the path opened. A file that opens but cannot be sized or read is reported on
// standard error and counts as not loaded.
void bookOpen();
// Closes the book if one is open and frees book_rand. A failing close is reported on standard
// error; the book counts as closed all the same.
void bookClose();
// Reads n bytes (at most 8), most significant first, into value. At end of file or on a read
// error prints its message on standard error and answers false.
bool readInteger(std::FILE* file, int n, std::uint64_t& value);
// Reads entry index (below entry_count) of the open book into entry; false after its message
// on standard error when the seek or a read fails.
bool readEntry(BookEntry& entry, std::int64_t index);

// The Polyglot key of the position. The en-passant file counts only when a pawn of the side to
// move stands beside the pawn that has just made the double push, whatever the FEN said.
std::uint64_t polyglot_key(const Position& pos);

// True when the "OwnBook" option is on and a book is open.
bool book_available();
// A legal move for the position chosen from the book with probability proportional to its
// weight, or 0 when the position is not in the book, its entries all weigh 0, or the chosen
// entry is not legal here; with a move, its weight and the weights of all the position's entries
// go to weight and total_weight when given. The position is the same afterwards. A failed read
// closes the book (after its message on standard error) and answers 0, so the caller searches
// instead.
Move book_move(Position& pos, unsigned* weight = nullptr, unsigned* total_weight = nullptr);

} // namespace orbelin
