// The real plug-in on Debian's 3-men Gaviota files (beside the 3- and 4-men Syzygy files),
// loaded through the engine's loader: won and drawn king-and-pawn endings, mating lines that end
// in checkmate exactly when the scores say, and concurrent probes.
#include "base/options.h"
#include "egbb/egbb.h"
#include "moves/make.h"
#include "moves/picker.h"
#include "real_bitbases.h"
#include "test_util.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <glib.h>
#include <glib/gstdio.h>
#include <gmodule.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace orbelin {
namespace {

constexpr int WIN_FLOOR = 2000; // every win scores above any material balance of five men

class Gaviota : public RealBitbases {
  protected:
    void SetUp() override {
        RealBitbases::SetUp();
        load(EGBB_REAL_DIR);
        ASSERT_TRUE(bitbases_available());
    }
};

enum Outcome { WON, DRAWN, LOST, UNCLEAR }; // for the side to move

Outcome outcome_of(int score) {
    if (score > WIN_FLOOR) return WON;
    if (score < -WIN_FLOOR) return LOST;
    return score == 0 ? DRAWN : UNCLEAR;
}

TEST_F(Gaviota, KingAndPawnEndingsAreWonOrDrawnAsTheTextbooksSay) {
    const struct {
        const char* fen;
        Outcome outcome;
    } cases[] = {
        // The king on a key square in front of its pawn wins whoever moves.
        {"3k4/8/3K4/8/3P4/8/8/8 w - - 0 1", WON},
        {"3k4/8/3K4/8/3P4/8/8/8 b - - 0 1", LOST},
        // The same for Black, mirrored.
        {"8/8/8/3p4/8/3k4/8/3K4 b - - 0 1", WON},
        {"8/8/8/3p4/8/3k4/8/3K4 w - - 0 1", LOST},
        // A rook's pawn with the defender in the corner draws whoever moves.
        {"k7/8/K7/P7/8/8/8/8 w - - 0 1", DRAWN},
        {"k7/8/K7/P7/8/8/8/8 b - - 0 1", DRAWN},
        // The opposition decides: the defender to move must give way, otherwise it holds.
        {"8/8/4k3/8/4K3/4P3/8/8 w - - 0 1", DRAWN},
        {"8/8/4k3/8/4K3/4P3/8/8 b - - 0 1", LOST},
        // The defender takes the unguarded pawn.
        {"8/8/8/8/8/8/4Pk2/K7 b - - 0 1", DRAWN},
    };
    bbhits.store(0);
    int found = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        PositionPtr pos = make_position(c.fen);
        int score       = probe_score(*pos);
        ASSERT_NE(score, EGBB_UNKNOWN);
        found++;
        EXPECT_EQ(outcome_of(score), c.outcome) << score;
    }
    EXPECT_EQ(bbhits.load(), found);
}

// The best move by the tablebase: the winner shortens the mate, the loser lengthens it.
// Answers 0 when there is no legal move.
Move best_move(Position& pos) {
    RootMoveList list;
    legal_moves(pos, list);
    Move best      = 0;
    int best_reply = 0;
    for (std::uint32_t i = 0; i < list.count; i++) {
        Move move = list.moves[i].move;
        EXPECT_EQ(make_move(pos, move), 1);
        int reply = probe_score(pos);
        unmake_move(pos);
        if (reply == EGBB_UNKNOWN) reply = 0; // never the best: wins stay in the files
        if (best == 0 || reply < best_reply) best = move, best_reply = reply;
    }
    return best;
}

TEST_F(Gaviota, WinsGrowTowardMateAndEndInCheckmate) {
    const char* const starts[] = {
        "8/8/8/4k3/8/8/8/R3K3 w - - 0 1",  // KRK, White mates
        "8/8/3k4/8/8/8/8/R3K3 b - - 0 1",  // KRK, Black to move loses
        "8/8/8/8/8/2q5/8/3k2K1 w - - 0 1", // KQK, White to move loses
        "7k/8/8/8/8/8/8/K6Q b - - 0 1",    // KQK, Black to move loses
        "3k4/8/3K4/8/3P4/8/8/8 w - - 0 1", // KPK, through promotion to a mate
    };
    for (const char* fen : starts) {
        SCOPED_TRACE(fen);
        PositionPtr pos = make_position(fen);
        int score       = probe_score(*pos);
        ASSERT_GT(std::abs(score), WIN_FLOOR) << score;
        ASSERT_LT(std::abs(score), 10000) << "not mate yet";
        // A win of s is mate in 10000 - s plies; each ply brings it one nearer.
        int plies = 10000 - std::abs(score);
        for (int ply = 0; ply < plies; ply++) {
            Move move = best_move(*pos);
            ASSERT_NE(move, 0u) << "the game ended early, at ply " << ply;
            ASSERT_EQ(make_move(*pos, move), 1);
            int next = probe_score(*pos);
            ASSERT_NE(next, EGBB_UNKNOWN) << "ply " << ply;
            EXPECT_EQ(std::abs(next), std::abs(score) + 1) << "ply " << ply;
            EXPECT_EQ(next > 0, score < 0) << "the winner changed at ply " << ply;
            score = next;
        }
        EXPECT_EQ(score, -10000);
        RootMoveList list;
        legal_moves(*pos, list);
        EXPECT_EQ(list.count, 0u);
        EXPECT_TRUE(pos->in_check) << "checkmate, not stalemate";
    }
}

TEST_F(Gaviota, PositionsOutsideTheFilesAreUnknown) {
    const char* const fens[] = {
        "4k3/8/8/8/8/8/8/RNB1K3 w - - 0 1",   // five men: no file of either format
        "4k3/4p3/8/8/8/8/4P3/R3K3 w - - 0 1", // five men
    };
    bbhits.store(0);
    for (const char* fen : fens) {
        SCOPED_TRACE(fen);
        PositionPtr pos = make_position(fen);
        EXPECT_EQ(probe_score(*pos), EGBB_UNKNOWN);
    }
    EXPECT_EQ(bbhits.load(), 0);
}

TEST_F(Gaviota, AFolderWithoutFilesKnowsNothing) {
    // The plug-in's own folder name, pointing at a directory that has no tablebase files.
    gchar* empty = g_dir_make_tmp("orbelin-egbb-XXXXXX", nullptr);
    ASSERT_NE(empty, nullptr);
    std::string link = std::string(empty) + "/egbbso.so";
    ASSERT_EQ(symlink(EGBB_REAL_DIR "/egbbso.so", link.c_str()), 0);
    g_strlcpy(option_bitbases_path, empty, sizeof option_bitbases_path);
    ::testing::internal::CaptureStdout();
    bitbases_load();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "info string endgame bitbases loaded (" + std::string(empty) + "/egbbso.so)\n");
    PositionPtr pos = make_position("3k4/8/3K4/8/3P4/8/8/8 w - - 0 1");
    EXPECT_EQ(probe_score(*pos), EGBB_UNKNOWN);
    bitbases_unload();
    unlink(link.c_str());
    g_rmdir(empty);
    g_free(empty);
}

using ProbeFn   = int (*)(int, int, int, int, int, int, int, int, int);
using ProbeArgs = std::array<int, 9>;

// Every placement of the white king on every fifth square, the black king on every seventh and
// one more man on every third, with both sides to move: thousands of positions over all five
// files, illegal ones included.
std::vector<ProbeArgs> many_positions() {
    std::vector<ProbeArgs> positions;
    const int men[] = {2, 9, 4, 11, 6}; // white queen, black rook, white bishop, black knight,
                                        // white pawn
    for (int man : men)
        for (int wk = 0; wk < 64; wk += 5)
            for (int bk = 1; bk < 64; bk += 7)
                for (int square = 8; square < 56; square += 3)
                    for (int side = 0; side <= 1; side++)
                        if (wk != bk && square != wk && square != bk)
                            positions.push_back({side, wk, bk, man, square, 0, 0, 0, 0});
    return positions;
}

struct ProbeJob {
    ProbeFn probe;
    const std::vector<ProbeArgs>* positions;
    const std::vector<int>* expected;
    int mismatches;
};

int call(ProbeFn probe, const ProbeArgs& a) {
    return probe(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]);
}

gpointer probe_all(gpointer data) {
    auto* job = static_cast<ProbeJob*>(data);
    for (int round = 0; round < 8; round++)
        for (std::size_t i = 0; i < job->positions->size(); i++)
            if (call(job->probe, (*job->positions)[i]) != (*job->expected)[i]) job->mismatches++;
    return nullptr;
}

TEST_F(Gaviota, ConcurrentProbesAnswerAsOneThreadDoes) {
    // The library the engine opened (the same loaded copy), called straight with raw arguments.
    GModule* module = g_module_open(EGBB_REAL_DIR "/egbbso.so", G_MODULE_BIND_LAZY);
    ASSERT_NE(module, nullptr);
    gpointer entry = nullptr;
    ASSERT_TRUE(g_module_symbol(module, "probe_egbb_5men", &entry));
    auto probe = reinterpret_cast<ProbeFn>(entry);

    std::vector<ProbeArgs> positions = many_positions();
    std::vector<int> expected;
    int known = 0;
    for (const ProbeArgs& args : positions) {
        expected.push_back(call(probe, args));
        if (expected.back() != EGBB_UNKNOWN) known++;
    }
    EXPECT_GT(known, 5000);

    ProbeJob jobs[4];
    GThread* threads[4];
    for (int t = 0; t < 4; t++) {
        jobs[t]    = {probe, &positions, &expected, 0};
        threads[t] = g_thread_new("probe", probe_all, &jobs[t]);
    }
    for (int t = 0; t < 4; t++) {
        g_thread_join(threads[t]);
        EXPECT_EQ(jobs[t].mismatches, 0) << "thread " << t;
    }
    g_module_close(module);
}

} // namespace
} // namespace orbelin
