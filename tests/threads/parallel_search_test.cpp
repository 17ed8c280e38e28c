// The parallel search in-process with live workers: the serial search's mates and bounds, no
// work left in either queue whenever a search returns, a stop in the middle, and the pool's
// life with the "Threads" option.
#include "base/options.h"
#include "eval/pawns.h"
#include "moves/generate.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/tt.h"
#include "test_util.h"

#include <cstddef>
#include <cstring>
#include <glib.h>
#include <gtest/gtest.h>

namespace orbelin {
namespace {

void reset_search_state() {
    stop_flag.store(0);
    pondering.store(0);
    abort_flag.store(0);
    nodes_reset();
    tt_clear();
    history_clear();
}

// Nothing is out and nothing waits when a search has returned: every worker is soon back
// waiting on the work queue (the queue's length counts waiting readers negatively), and no
// result is left behind.
void expect_no_work_left() {
    int length = g_async_queue_length(work_queue);
    for (int i = 0; i < 200 && length != -worker_count; i++) {
        g_usleep(1000);
        length = g_async_queue_length(work_queue);
    }
    EXPECT_EQ(length, -worker_count);
    EXPECT_EQ(g_async_queue_length(result_queue), 0);
    EXPECT_EQ(abort_flag.load(), 0);
}

// The search took back every move it made.
void expect_unchanged(const Position& pos, const Position& before) {
    EXPECT_EQ(std::memcmp(&pos, &before, offsetof(Position, history)), 0);
}

class ParallelSearch : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        option_hash = 8;
        tt_alloc();
        pawn_hash_alloc();
        option_threads = GetParam();
        workers_start();
        ASSERT_EQ(worker_count, GetParam());
        reset_search_state();
    }
    void TearDown() override {
        workers_stop();
        option_threads = 1;
        stop_flag.store(0);
        pawn_hash_free();
        tt_free();
    }
};

// Positions with a forced mate: the score is exact whatever order the moves are searched in.
struct Mate {
    const char* fen;
    int depth;
    int score;
};
const Mate MATES[] = {
    {"r1bq2r1/b4pk1/p1pp1p2/1p2pP2/1P2P1PB/3P4/1PPQ2P1/R3K2R w - - 0 1", 5, MATE - 3},
    {"6k1/pp4p1/2p5/2bp4/8/P5Pb/1P3rrP/2BRRN1K b - - 0 1", 5, MATE - 3},
    {"r3r2k/2R3pp/pp1q1p2/8/3P3R/7P/PP3PP1/3Q2K1 w - - 0 1", 7, MATE - 7},
    {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 3, MATE - 1},
    {"7k/8/8/8/8/8/qq6/K7 w - - 0 1", 3, -MATE + 0},
    {"7k/8/8/8/8/1q6/2q5/K7 w - - 0 1", 3, 0},
};

TEST_P(ParallelSearch, FindsTheSerialMatesAndLeavesNoWork) {
    // Each mate at its depth and two plies deeper, where the moves of several nodes are out at
    // once and workers get moves of nodes nearer the root than the one this thread is at.
    for (int extra : {0, 2})
        for (const Mate& m : MATES) {
            SCOPED_TRACE(m.fen);
            SCOPED_TRACE(m.depth + extra);
            // Deeper only for the side that mates: a search set up on a side in check, as in the
            // mated position, may try a null move there (the root never starts one in check).
            if (extra > 0 && m.score <= 0) continue;
            PositionPtr pos = make_position(m.fen);
            PositionPtr before(position_new());
            *before = *pos;

            reset_search_state();
            EXPECT_EQ(pv_search(*pos, -MATE, MATE, m.depth + extra, 0, 1), m.score);
            reset_search_state();
            EXPECT_EQ(parallel_search(*pos, -MATE, MATE, m.depth + extra, 0, 1), m.score);
            expect_no_work_left();
            expect_unchanged(*pos, *before);

            // Null windows on either side of a mate score: a cut-off (often by a worker's result)
            // and a fail low, each draining what is out.
            if (m.score <= 0) continue;
            reset_search_state();
            EXPECT_GE(parallel_search(*pos, m.score - 1, m.score, m.depth + extra, 0, 1), m.score);
            expect_no_work_left();
            reset_search_state();
            EXPECT_LE(parallel_search(*pos, m.score, m.score + 1, m.depth + extra, 0, 1), m.score);
            expect_no_work_left();
            expect_unchanged(*pos, *before);
        }
}

TEST_P(ParallelSearch, IterativeDeepeningKeepsTheQueuesEmpty) {
    // A wide middlegame, deepened with the table kept, as the root does.
    PositionPtr pos =
        make_position("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    PositionPtr before(position_new());
    *before = *pos;
    for (int depth = 1; depth <= 8; depth++) {
        SCOPED_TRACE(depth);
        int score = parallel_search(*pos, -MATE, MATE, depth, 0, 1);
        EXPECT_GT(score, -MATE);
        EXPECT_LT(score, MATE);
        expect_no_work_left();
        expect_unchanged(*pos, *before);
    }
}

struct StoppedSearch {
    Position* pos;
    int score;
};

gpointer run_deep_search(gpointer data) {
    auto* search  = static_cast<StoppedSearch*>(data);
    search->score = parallel_search(*search->pos, -MATE, MATE, 30, 0, 1);
    return nullptr;
}

TEST_P(ParallelSearch, AStopEndsTheSearchAndLeavesNoWork) {
    PositionPtr pos =
        make_position("r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P3/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10");
    PositionPtr before(position_new());
    *before = *pos;
    StoppedSearch search{pos.get(), 1};
    GThread* thread = g_thread_new("search", run_deep_search, &search);
    g_usleep(200000);
    stop_flag.store(1);
    g_thread_join(thread);
    expect_no_work_left();
    expect_unchanged(*pos, *before);
    EXPECT_GT(nodes_searched(), 1000u);

    // The workers are ready for the next search.
    stop_flag.store(0);
    PositionPtr mate = make_position(MATES[0].fen);
    reset_search_state();
    EXPECT_EQ(parallel_search(*mate, -MATE, MATE, MATES[0].depth, 0, 1), MATES[0].score);
    expect_no_work_left();
}

// More threads than this machine's cores as well: the results and the queues must not care.
INSTANTIATE_TEST_SUITE_P(Workers, ParallelSearch, ::testing::Values(2, 3, 4, 8, 16));

TEST(WorkerPool, FollowsTheThreadsOptionAndNoneRunsWithOne) {
    option_hash = 4;
    tt_alloc();
    pawn_hash_alloc();
    reset_search_state();
    // With one thread nothing is created, and the search is the serial one, node for node.
    option_threads = 1;
    workers_start();
    EXPECT_EQ(worker_count, 0);
    EXPECT_EQ(work_queue, nullptr);
    EXPECT_EQ(result_queue, nullptr);
    PositionPtr pos            = make_position(MATES[2].fen);
    int serial                 = pv_search(*pos, -MATE, MATE, 5, 0, 1);
    std::uint64_t serial_nodes = nodes_searched();
    reset_search_state();
    EXPECT_EQ(parallel_search(*pos, -MATE, MATE, 5, 0, 1), serial);
    EXPECT_EQ(nodes_searched(), serial_nodes);

    // 4, then 2, then 1, then 3 between searches; stopping twice does no harm.
    for (int threads : {4, 2, 1, 3}) {
        SCOPED_TRACE(threads);
        workers_stop();
        option_threads = threads;
        workers_start();
        EXPECT_EQ(worker_count, threads > 1 ? threads : 0);
        EXPECT_EQ(work_queue != nullptr, threads > 1);
        reset_search_state();
        EXPECT_EQ(parallel_search(*pos, -MATE, MATE, 7, 0, 1), MATES[2].score);
        if (threads > 1) expect_no_work_left();
    }
    workers_stop();
    workers_stop();
    EXPECT_EQ(worker_count, 0);
    EXPECT_EQ(work_queue, nullptr);
    option_threads = 1;
    stop_flag.store(0);
    pawn_hash_free();
    tt_free();
}

} // namespace
} // namespace orbelin
