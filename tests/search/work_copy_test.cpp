// The position copy of a work item: only the history a search can read is copied, and a search
// of the copy is the search of the original, node for node.
#include "base/options.h"
#include "board/attacks.h"
#include "eval/pawns.h"
#include "moves/generate.h"
#include "moves/picker.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/tt.h"
#include "search_fixture.h"
#include "test_util.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <utility>

namespace orbelin {
namespace {

class WorkCopy : public SearchFixture {
  protected:
    // Score and node count of a fresh search (empty table and history).
    std::pair<int, std::uint64_t> search(Position& pos, int depth) {
        tt_clear();
        history_clear();
        nodes_reset();
        int score = pv_search(pos, -MATE, MATE, depth, 0, 1);
        return {score, nodes_searched()};
    }
};

// Games whose history matters: repetitions reachable from the root, older history behind an
// irreversible move, and a game with nothing reversible at its end.
struct Game {
    const char* moves;
    int depth;
};
const Game GAMES[] = {
    {"g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1", 6},
    {"e2e4 e7e5 g1f3 b8c6 f3g1 c6b8 g1f3 b8c6 f1c4 g8f6 c4f1 f6g8", 6},
    {"d2d4 d7d5 c2c4 e7e6 b1c3 g8f6 c1g5 f8e7 e2e3 e8g8 g1f3 b8d7 a1c1 c7c6 f1d3 d5c4", 5},
    {"e2e4 d7d5 e4d5", 6},
};

TEST_F(WorkCopy, CopiesOnlyTheReachableHistoryAndSearchesAlike) {
    for (const Game& game : GAMES) {
        SCOPED_TRACE(game.moves);
        PositionPtr original(position_new());
        position_set_start(*original);
        ASSERT_GT(apply_move_text(*original, game.moves), 0);
        const int ply = original->ply, kept = std::min(original->static_moves, ply);

        // Every history entry of the target first holds the root's key: a search that read an
        // entry the copy skipped would see repetitions everywhere.
        PositionPtr copy(position_new());
        std::memset(static_cast<void*>(copy.get()), 0xA5, sizeof(Position));
        for (HistoryEntry& e : copy->history)
            e.key = original->key;
        work_copy_position(*copy, *original);

        EXPECT_EQ(std::memcmp(copy.get(), original.get(), offsetof(Position, history)), 0);
        EXPECT_EQ(std::memcmp(copy->history + ply - kept, original->history + ply - kept,
                              sizeof(HistoryEntry) * std::size_t(kept)),
                  0);
        if (ply > kept) {
            EXPECT_EQ(copy->history[ply - kept - 1].key, original->key);
        }
        EXPECT_EQ(repetition_count(*copy), repetition_count(*original));

        auto expected = search(*original, game.depth);
        auto got      = search(*copy, game.depth);
        EXPECT_EQ(got, expected);
        EXPECT_EQ(copy->ply, ply);
        EXPECT_EQ(copy->key, original->key);
    }
}

} // namespace
} // namespace orbelin
