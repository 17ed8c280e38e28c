// The "position" command on the engine's current position.
#include "moves/make.h"
#include "moves/picker.h"
#include "test_util.h"
#include "uci/uci.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace orbelin {
namespace {

class PositionCommand : public ::testing::Test {
  protected:
    void SetUp() override { current_position = position_new(); }
    void TearDown() override {
        position_free(current_position);
        current_position = nullptr;
    }
    // The moves of the current position's history as text.
    static std::string history() {
        std::string out;
        for (int i = 0; i < current_position->ply; i++) {
            char text[6];
            move_to_text(current_position->history[i].move, text);
            if (i) out += ' ';
            out += text;
        }
        return out;
    }
};

TEST_F(PositionCommand, StartposAndFenWithMoves) {
    struct Case {
        const char* args;
        const char* history;
        int side;
    };
    const Case cases[] = {
        {" startpos moves e2e4 e7e5\n", "e2e4 e7e5", WHITE},
        {" STARTPOS MOVES e2e4\n", "e2e4", BLACK},
        {" startpos\n", "", WHITE},
        {" startpos foo e2e4\n", "", WHITE},
        {" fen 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1 moves e2e4 e8d7\n", "e2e4 e8d7", WHITE},
        {" FeN 4k3/8/8/8/8/8/4P3/4K3 b - - 0 1\n", "", BLACK},
        {" fen 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1 MOVES e2e4\n", "", WHITE}, // "moves" as written
        {" fen 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1 moves", "", WHITE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        position_set_start(*current_position);
        make_move(*current_position, MOVE_NULL);
        uci_position(c.args);
        EXPECT_EQ(history(), c.history);
        EXPECT_EQ(current_position->side, c.side);
    }
}

TEST_F(PositionCommand, IgnoredOrRefusedInputKeepsThePosition) {
    const char* const cases[] = {
        "\n",
        " \n",
        " hello startpos\n",
        " fen 4k3/8/8/8/8/8/8/4K2Z w - - 0 1 moves e1e2\n", // refused FEN: no moves either
        " fen 4k3/8/8/8/8/8/8/8 w - - 0 1\n",               // no white king
        " fen\n",
    };
    apply_move_text(*current_position, "e2e4 c7c5");
    Position* before = position_new();
    *before          = *current_position;
    for (const char* args : cases) {
        SCOPED_TRACE(args);
        uci_position(args);
        EXPECT_EQ(std::memcmp(current_position, before, sizeof(Position)), 0);
    }
    position_free(before);
}

TEST_F(PositionCommand, BadMoveKeepsTheMovesBeforeIt) {
    uci_position(" startpos moves e2e4 e7e5 e1e3 g1f3\n");
    EXPECT_EQ(history(), "e2e4 e7e5");
}

} // namespace
} // namespace orbelin
