// The repetition count over the stored keys of the history stack.
#include "board/attacks.h"

#include <algorithm>

namespace orbelin {

int repetition_count(const Position& pos) {
    int n = std::min(pos.static_moves, pos.ply);
    if (n < 4) return 0;
    int count = 0;
    for (int d = 4; d <= n;) {
        if (pos.history[pos.ply - d].key == pos.key) {
            count++;
            d += 4; // the position two plies before a repetition cannot be the same again
        } else {
            d += 2;
        }
    }
    return count;
}

} // namespace orbelin
