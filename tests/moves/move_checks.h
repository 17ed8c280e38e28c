#pragma once
// Checks shared by the move tests: incremental fields against a from-scratch count, and a
// snapshot of everything make/unmake may touch below the history stack.
#include "board/attacks.h"
#include "board/keys.h"
#include "eval/pst.h"
#include "test_util.h"

#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>

namespace orbelin {

// Every field before the history stack.
struct Head {
    unsigned char bytes[offsetof(Position, history)];
};
inline Head head_of(const Position& pos) {
    Head h;
    std::memcpy(h.bytes, &pos, sizeof h.bytes);
    return h;
}
inline bool same_head(const Head& a, const Head& b) {
    return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

// Key, material, piece-square sums, phase and check flag equal a from-scratch count.
inline ::testing::AssertionResult fields_from_scratch(const Position& pos) {
    int material[2] = {0, 0}, opening = 0, endgame = 0, phase = 0;
    for (int s = 0; s < 64; s++) {
        int p = pos.board[s];
        if (p == EMPTY) continue;
        material[p & 1] += piece_value[p];
        opening += pst[p][s].opening;
        endgame += pst[p][s].endgame;
        phase += phase_weight[p];
    }
    if (pos.key != position_compute_key(pos)) return ::testing::AssertionFailure() << "key";
    if (material[0] != pos.material[0] || material[1] != pos.material[1])
        return ::testing::AssertionFailure() << "material";
    if (opening != pos.pst_opening || endgame != pos.pst_endgame)
        return ::testing::AssertionFailure() << "pst sums";
    if (phase != pos.phase) return ::testing::AssertionFailure() << "phase";
    if (pos.in_check != in_check_test(pos)) return ::testing::AssertionFailure() << "in_check";
    return ::testing::AssertionSuccess();
}

} // namespace orbelin
