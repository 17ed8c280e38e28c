// perft: make every move through next_move, count the leaves.
#include "moves/perft.h"

#include "moves/make.h"
#include "moves/picker.h"

namespace orbelin {

std::uint64_t perft(Position& pos, int depth) {
    if (depth <= 0) return 1;
    MoveList list;
    list.stage          = 0;
    std::uint64_t count = 0;
    while (next_move(pos, list)) {
        count += depth == 1 ? 1 : perft(pos, depth - 1);
        unmake_move(pos);
    }
    return count;
}

} // namespace orbelin
