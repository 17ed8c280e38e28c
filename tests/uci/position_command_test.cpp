// The "position" command on the engine's current position.
#include "base/options.h"
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

// UCI_Chess960 decides how "position" reads castling: with it the start position castles as
// the king taking its rook and a FEN's castling field is Shredder-FEN or X-FEN; a right that
// cannot be refuses the FEN and keeps the position.
TEST_F(PositionCommand, Chess960ModeFromTheOption) {
    struct Case {
        int chess960;
        const char* args;
        const char* history;
        int castling;
    };
    const Case cases[] = {
        {1, " startpos moves g1f3 g8f6 g2g3 g7g6 f1g2 f8g7 e1h1 e8g8\n",
         "g1f3 g8f6 g2g3 g7g6 f1g2 f8g7 e1h1 e8h8", 0},
        {0, " startpos moves g1f3 g8f6 g2g3 g7g6 f1g2 f8g7 e1h1\n", "g1f3 g8f6 g2g3 g7g6 f1g2 f8g7",
         15},
        {1, " fen 1r2kr2/pppppppp/8/8/8/8/PPPPPPPP/1R2KR2 w FBfb - 0 1 moves e1b1\n", "e1b1", 12},
        {0, " fen 1r2kr2/pppppppp/8/8/8/8/PPPPPPPP/1R2KR2 w FBfb - 0 1 moves e1b1\n", "", 0},
        {1, " fen 4k3/8/8/8/8/8/8/4K3 w K - 0 1 moves e1e2\n", "e2e4", 15}, // refused, kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        position_set_start(*current_position);
        make_move(*current_position, 28865); // e2e4, which a refused FEN keeps
        option_chess960 = c.chess960;
        uci_position(c.args);
        option_chess960 = 0;
        EXPECT_EQ(history(), c.history);
        EXPECT_EQ(current_position->castling, c.castling);
        EXPECT_EQ(current_position->chess960, c.history == std::string("e2e4") ? 0 : c.chess960);
    }
}

TEST_F(PositionCommand, BadMoveKeepsTheMovesBeforeIt) {
    uci_position(" startpos moves e2e4 e7e5 e1e3 g1f3\n");
    EXPECT_EQ(history(), "e2e4 e7e5");
}

} // namespace
} // namespace orbelin
