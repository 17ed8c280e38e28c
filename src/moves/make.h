#pragma once
// Making and unmaking moves: every incremental field updated, legality decided on the way.
#include "board/position.h"

namespace orbelin {

// Plays the move and answers 1, or answers 0 with the position exactly as before when the move
// leaves the mover's king attacked (or castles out of, through or into attack). The move must
// be one the generators could produce here, or MOVE_NULL (always played). The caller keeps
// ply below HISTORY_SIZE.
int make_move(Position& pos, Move move);
// Takes back the last move made; ply must be above 0.
void unmake_move(Position& pos);

} // namespace orbelin
