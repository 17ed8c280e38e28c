#pragma once
// Lazy move pickers over captures then quiet moves, the legal move list of a position and the
// reader of coordinate move text.
#include "board/position.h"

#include <cstddef>
#include <cstdint>

namespace orbelin {

// One root move and what the search last learned of it (all 0 from legal_moves).
struct RootMove {
    Move move;
    std::int32_t score;  // from the root side's view
    std::uint32_t depth; // iteration depth at which score was found
    std::uint32_t seldepth;
    std::uint32_t nps;
    std::uint32_t time_ms;
    std::uint64_t nodes;
    std::uint32_t bound; // 0 exact; else the score is a lower (1) or upper (2) bound
    Move pv[14];         // the moves after `move`, ending with 0
};

struct RootMoveList {
    std::uint32_t count;
    RootMove moves[MOVELIST_SIZE];
};

// The next legal capture or promotion, already made on the position; 0 when none is left.
// Every move returned must be unmade before the next call. A walk starts with stage 0.
Move next_capture(Position& pos, MoveList& list);
// The same over captures first, then quiet moves.
Move next_move(Position& pos, MoveList& list);
// Every legal move of the position in next_move order; the position is unchanged.
void legal_moves(Position& pos, RootMoveList& list);
// The move of the list whose coordinate text equals the word of the given length (any letter
// case), or 0. A castling whose king starts on the e-file also answers to the king's
// two-square move (e1g1 for a Chess960 castling written e1h1 or e1f1).
Move find_move_text(const RootMoveList& list, const char* word, std::size_t length);
// Prints the moves of the list followed by blanks, then a newline.
void rootlist_print(const RootMoveList& list);
// Plays blank-separated coordinate moves (any letter case) in turn. A move that cannot be
// played is reported on standard error with the board dump on standard output; it and the rest
// are ignored, the moves before it stay played. Answers the number of moves played.
int apply_move_text(Position& pos, const char* text);

} // namespace orbelin
