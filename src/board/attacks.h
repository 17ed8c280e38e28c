#pragma once
// Attack tests and the repetition count: table lookups only, no generation, no board scan.
#include "board/position.h"

namespace orbelin {

// 1 when the square is attacked by a piece of colour `by` (blockers of both colours count).
int square_attacked(const Position& pos, int square, int by);
// 1 when the king of the side to move is attacked.
int in_check_test(const Position& pos);
// Earlier occurrences of the current position with the same side to move, looking back no
// further than the last capture, pawn move, castling or null move.
int repetition_count(const Position& pos);

} // namespace orbelin
