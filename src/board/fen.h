#pragma once
// Text in and out of the board: FEN reading, square and move text, the diagnostic printers and
// the consistency check. Printers write to standard output and flush.
#include "board/position.h"

#include <glib.h>

namespace orbelin {

// Writes "e4" and a terminator; the buffer holds at least 3 characters.
void square_to_text(int square, char* buffer);
// Reads two characters; answers -1 (after "Wrong char (%c)!" on standard error) when they are
// not a square.
int text_to_square(const char* text);
// One of the twelve FEN letters; -1 (after "Wrong char (%c)!") for anything else.
int letter_to_piece(char letter);
// Writes "e2e4", "e7e8q", "e1g1" or "null" and a terminator; the buffer holds at least 6.
void move_to_text(Move move, char* buffer);
// Appends the move text and a blank to the text.
void move_text_append(GString* text, Move move);
// Prints the move text and a blank.
void move_print(Move move);
// Prints each move of the list followed by a blank, then a newline.
void movelist_print(const MoveList& list);
// Prints an 8x8 grid of 0 and 1, rank 8 on top.
void bitboard_print(Bitboard b);

// Reads the first four FEN fields into the position. A FEN that cannot stand (a bad character,
// a placement past a rank or short of ranks, a king count other than one per side, a pawn on
// the first or last rank, impossible material, the side not to move in check) is reported on
// standard error and leaves the position untouched; answers false then. In standard chess
// castling rights whose king and rook are not at home, and in both modes an en-passant square
// no double push could have left, are dropped. With chess960 the castling field is read as
// Shredder-FEN or X-FEN, and a right whose king or rook is not on its first rank is refused.
bool position_set_fen(Position& pos, const char* text, bool chess960 = false);
// The room position_to_fen needs.
constexpr int FEN_SIZE = 100;
// Writes the position's FEN: the castling rights as KQkq in standard chess and as Shredder-FEN
// in Chess960, the half-move count since setup as its clock, and 1 + ply / 2 as its move number.
void position_to_fen(const Position& pos, char* buffer);

// The board dump of the "debug" command.
void position_print(const Position& pos);
// Checks the bitboards, rotated boards and material against the board; the first failure
// prints the dump and ends the process with its numbered message.
void position_verify(const Position& pos);
// The material a move wins: 0 quiet or castling, the victim's value, 90 en passant, the new
// piece's value less a pawn's for a promotion (capturing promotions count only that).
int move_gain(const Position& pos, Move move);

} // namespace orbelin
