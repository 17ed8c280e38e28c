#pragma once
// Helpers shared by the tests: positions from FEN and square names.
#include "board/fen.h"
#include "board/position.h"

#include <gtest/gtest.h>
#include <memory>

namespace orbelin {

struct PositionDeleter {
    void operator()(Position* pos) const { position_free(pos); }
};
using PositionPtr = std::unique_ptr<Position, PositionDeleter>;

// A heap position set from the FEN; the test fails when the FEN is refused.
inline PositionPtr make_position(const char* fen) {
    PositionPtr pos(position_new());
    EXPECT_TRUE(position_set_fen(*pos, fen)) << fen;
    return pos;
}

// Square from its name, "e4" -> 28.
constexpr int sq(const char* name) { return 8 * (name[1] - '1') + (name[0] - 'a'); }

} // namespace orbelin
