#pragma once
// Leaf counting through the engine's own pickers, for the tool and the move tests.
#include "board/position.h"

#include <cstdint>

namespace orbelin {

// The number of legal move sequences of the given length, walked with next_move exactly as
// the search walks them. The position is unchanged afterwards.
std::uint64_t perft(Position& pos, int depth);

} // namespace orbelin
