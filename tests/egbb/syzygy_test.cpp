// The real plug-in on the build's bitbase folder (Debian's 3-men Gaviota files and the 3- and
// 4-men Syzygy files): its win/draw/loss against Debian's fathom prober on the same Syzygy files
// for two thousand random legal positions, the well-known verdicts of some endings, the score
// scale, and the positions the engine does not ask about.
#include "board/attacks.h"
#include "moves/picker.h"
#include "real_bitbases.h"
#include "test_util.h"

#include <array>
#include <glib.h>
#include <glib/gstdio.h>
#include <gmodule.h>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace orbelin {
namespace {

const char* const SYZYGY_FILES = ORBELIN_SOURCE_DIR "/data/syzygy";

// fathom's verdict for the side to move: 1 win, -1 loss, 0 draw (a cursed win and a blessed
// loss too, as the fifty-move rule makes them), 2 when it gave none.
int fathom_verdict(const std::string& fen) {
    std::string path    = std::string("--path=") + SYZYGY_FILES;
    const gchar* argv[] = {EGBB_FATHOM, path.c_str(), fen.c_str(), nullptr};
    gchar* output       = nullptr;
    gint status         = 0;
    if (!g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_STDERR_TO_DEV_NULL,
                      nullptr, nullptr, &output, nullptr, &status, nullptr))
        return 2;
    std::string text = output != nullptr ? output : "";
    g_free(output);
    std::size_t at = text.find("[WDL \"");
    if (at == std::string::npos) return 2;
    std::string wdl = text.substr(at + 6, text.find('"', at + 6) - at - 6);
    return wdl == "Win"                                                  ? 1
           : wdl == "Loss"                                               ? -1
           : wdl == "Draw" || wdl == "CursedWin" || wdl == "BlessedLoss" ? 0
                                                                         : 2;
}

int verdict_of(int score) { return score > 0 ? 1 : score < 0 ? -1 : 0; }

// The verdict for the side to move: by the rules when it has no move (fathom calls a
// checkmate a win, for the side that gave it), else fathom's.
int expected_verdict(Position& pos, const std::string& fen) {
    RootMoveList moves;
    legal_moves(pos, moves);
    if (moves.count == 0) return pos.in_check ? -1 : 0;
    return fathom_verdict(fen);
}

// A FEN of the men on their squares ('K', 'q', ...) with the side to move and nothing else.
std::string fen_of(const std::map<int, char>& men, int side) {
    std::string fen;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            auto man = men.find(8 * rank + file);
            if (man == men.end()) {
                empty++;
                continue;
            }
            if (empty > 0) fen += char('0' + empty);
            empty = 0;
            fen += man->second;
        }
        if (empty > 0) fen += char('0' + empty);
        if (rank > 0) fen += '/';
    }
    return fen + (side == 0 ? " w" : " b") + " - - 0 1";
}

// A random legal placement of the kings and the given men ("Qr": a white queen, a black rook):
// no pawn on the first or last rank, the side not to move not in check.
std::string random_fen(GRand* rand, const std::string& others, int side) {
    for (;;) {
        std::map<int, char> men;
        std::string all = "Kk" + others;
        for (char man : all) {
            int square = 0;
            do {
                square = g_rand_int_range(rand, 0, 64);
            } while (men.count(square) != 0 ||
                     ((man == 'P' || man == 'p') && (square < 8 || square > 55)));
            men[square] = man;
        }
        std::string fen = fen_of(men, side);
        Position pos;
        if (!position_set_fen(pos, fen.c_str())) continue;
        if (!square_attacked(pos, lsb(pos.bitboards[WHITE_KING + (side ^ 1)]), side)) return fen;
    }
}

class Syzygy : public RealBitbases {
  protected:
    void SetUp() override {
        RealBitbases::SetUp();
        std::string report = load(EGBB_REAL_DIR);
        EXPECT_NE(report.find("5 Gaviota and 35 Syzygy tables"), std::string::npos) << report;
    }
};

TEST_F(Syzygy, WinDrawLossAgreesWithFathomOnRandomPositions) {
    if (access(EGBB_FATHOM, X_OK) != 0) GTEST_SKIP() << "no fathom prober installed";
    // Every ending of three or four men, both colours leading; the named ones also tallied.
    const char* const endings[] = {"Q",  "R",  "P",  "p",  "Qr", "Rr", "Bn", "Pp", "Qp",
                                   "Rp", "Rb", "Rn", "Qq", "Bb", "Nn", "Pn", "Pb", "BN",
                                   "BB", "NN", "QR", "RP", "QP", "BP", "NP", "PP", "qR"};
    GRand* rand                 = g_rand_new_with_seed(2024);
    std::map<std::string, std::map<int, int>> tally; // ending -> verdict for White -> count
    int compared = 0;
    for (int round = 0; round < 75; round++)
        for (const char* ending : endings) {
            int side        = g_rand_int_range(rand, 0, 2);
            std::string fen = random_fen(rand, ending, side);
            PositionPtr pos = make_position(fen.c_str());
            int score       = probe_score(*pos);
            SCOPED_TRACE(fen + " scored " + std::to_string(score));
            ASSERT_NE(score, EGBB_UNKNOWN) << "every ending of four men is on file";
            EXPECT_EQ(verdict_of(score), expected_verdict(*pos, fen));
            tally[ending][side == 0 ? verdict_of(score) : -verdict_of(score)]++;
            compared++;
        }
    g_rand_free(rand);
    EXPECT_EQ(compared, 2025);
    // The queen beats the rook; bishop against knight is a draw but for the odd tactic, and so
    // is rook against rook, where a random placement often leaves a rook hanging or skewered.
    EXPECT_GT(tally["Qr"][1], 56) << "of 75";
    EXPECT_GT(tally["Rr"][0], 45) << "of 75";
    EXPECT_GT(tally["Bn"][0], 70) << "of 75";
}

TEST_F(Syzygy, PawnAgainstPawnAgreesWithFathomSquareBySquare) {
    if (access(EGBB_FATHOM, X_OK) != 0) GTEST_SKIP() << "no fathom prober installed";
    // The black pawn on d5, the kings on b1 and g8; the white pawn on every other square.
    int wins = 0, draws = 0;
    for (int square = 8; square < 56; square++)
        for (int side = 0; side < 2; side++) {
            if (square == sq("d5")) continue;
            std::string fen =
                fen_of({{sq("b1"), 'K'}, {sq("g8"), 'k'}, {sq("d5"), 'p'}, {square, 'P'}}, side);
            PositionPtr pos(position_new());
            if (!position_set_fen(*pos, fen.c_str())) continue; // the side not to move in check
            int score = probe_score(*pos);
            SCOPED_TRACE(fen + " scored " + std::to_string(score));
            ASSERT_NE(score, EGBB_UNKNOWN);
            EXPECT_EQ(verdict_of(score), expected_verdict(*pos, fen));
            (score == 0 ? draws : wins)++;
        }
    EXPECT_GT(wins, 5);
    EXPECT_GT(draws, 5);
}

TEST_F(Syzygy, ScoresKeepTheirScale) {
    const struct {
        const char* fen;
        int low, high; // side to move's view
    } cases[] = {
        // Gaviota-covered: the exact distance, mate in 17 plies.
        {"8/8/8/4k3/8/8/8/KQ6 w - - 0 1", 9983, 9983},
        {"8/8/8/4k3/8/8/8/KQ6 b - - 0 1", -9999, -9000},
        // Syzygy only: above any material count, below every Gaviota score.
        {"7r/8/8/4k3/8/8/8/KQ6 w - - 0 1", 7475, 8690},
        {"7r/8/8/4k3/8/8/8/KQ6 b - - 0 1", 0, 0}, // 1...Rh1 pins and wins the queen
        {"8/8/8/4k3/8/8/8/KBN5 b - - 0 1", -8690, -7625},
        {"r7/8/8/3k4/8/8/3K4/7R w - - 0 1", 0, 0},       // rook against rook
        {"3k4/3p4/8/3K4/3P4/8/8/8 w - - 0 1", 0, 0},     // blocked pawns
        {"8/3P4/8/8/8/2k4p/8/K7 w - - 0 1", 7000, 8690}, // the first pawn to promote wins
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        PositionPtr pos = make_position(c.fen);
        int score       = probe_score(*pos);
        EXPECT_GE(score, c.low);
        EXPECT_LE(score, c.high);
    }
}

TEST_F(Syzygy, AWinScoresHigherOnceMaterialIsWonOrThePawnPromotes) {
    const struct {
        const char* before;
        const char* after; // the same side to move again, after a good move and a reply
    } cases[] = {
        // The queen wins the rook: the score leaves Syzygy for Gaviota's distance to mate.
        {"8/8/8/2k5/8/1r6/8/KQ6 w - - 0 1", "8/8/8/4k3/8/1Q6/8/K7 w - - 0 2"},
        // The pawn promotes against the other pawn: the queen's material counts.
        {"8/3P4/8/8/8/2k4p/8/K7 w - - 0 1", "3Q4/8/8/8/8/7p/2k5/K7 w - - 0 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        PositionPtr before = make_position(c.before), after = make_position(c.after);
        int first = probe_score(*before), second = probe_score(*after);
        EXPECT_GE(first, 7000);
        EXPECT_GT(second, first);
    }
}

TEST_F(Syzygy, PositionsTheLibraryCannotBeToldAreNotAsked) {
    const struct {
        const char* fen;
        bool asked;
    } cases[] = {
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", false}, // en passant possible
        {"4k3/8/8/3pP3/8/8/8/4K3 w - - 0 1", true},
        {"4k3/8/8/8/8/8/8/4K2R w K - 0 1", false}, // castling possible with three men
        {"4k3/8/8/8/8/8/8/4K2R w - - 0 1", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        PositionPtr pos = make_position(c.fen);
        bbhits.store(0);
        EXPECT_EQ(probe_score(*pos) != EGBB_UNKNOWN, c.asked);
        EXPECT_EQ(bbhits.load(), c.asked ? 1 : 0);
    }
}

TEST_F(Syzygy, ArgumentsOfNoSetupAreUnknownAlsoWhenANeighbourIsCached) {
    // The plug-in looks in its answer cache before it builds the position. Each bad argument
    // list comes after a good one whose packed key it would equal if its fields were not
    // checked first (a square of 64 or more spills into the next field), and after a good
    // one that differs only in the bad field.
    GModule* module = g_module_open(EGBB_REAL_DIR "/egbbso.so", G_MODULE_BIND_LAZY);
    ASSERT_NE(module, nullptr);
    gpointer entry = nullptr;
    ASSERT_TRUE(g_module_symbol(module, "probe_egbb_5men", &entry));
    auto probe = reinterpret_cast<int (*)(int, int, int, int, int, int, int, int, int)>(entry);
    struct Case {
        const char* what;
        std::array<int, 9> good, bad;
    };
    // Queen against rook: White king a1, queen b1, Black king e5 (or e6 and f6), rook h8.
    const int a1 = sq("a1"), b1 = sq("b1"), e5 = sq("e5"), h8 = sq("h8");
    const int e6 = sq("e6"), f6 = sq("f6");
    const Case cases[] = {
        {"white king off the board",
         {0, a1, f6, 2, b1, 9, h8, 0, 0},
         {0, a1 + 64, e6, 2, b1, 9, h8, 0, 0}},
        {"man off the board",
         {0, a1, e5, 2, b1, 9, h8, 0, 0},
         {0, a1, e5, 2, b1 + 64, 8, h8, 0, 0}},
        {"negative square", {0, a1, e5, 2, b1, 9, h8, 0, 0}, {0, a1, e5, 2, -1, 9, h8, 0, 0}},
        {"piece number 7", {0, a1, e5, 2, b1, 9, h8, 0, 0}, {0, a1, e5, 7, b1, 9, h8, 0, 0}},
        {"two men on a square", {0, a1, e5, 2, b1, 9, h8, 0, 0}, {0, a1, e5, 2, a1, 9, h8, 0, 0}},
        {"side 2", {0, a1, e5, 2, b1, 9, h8, 0, 0}, {2, a1, e5, 2, b1, 9, h8, 0, 0}},
    };
    auto call = [&](const std::array<int, 9>& a) {
        return probe(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_NE(call(c.good), EGBB_UNKNOWN);
        EXPECT_EQ(call(c.bad), EGBB_UNKNOWN);
    }
    g_module_close(module);
}

TEST_F(Syzygy, LoadingAgainAndAgainKeepsAnswering) {
    // The engine's loaded copy of the plug-in, its load entry called again and again without
    // closing the module, as a reload of the same copy does: Fathom must be set up anew each
    // time (its tb_free leaves it unable to load again).
    GModule* module = g_module_open(EGBB_REAL_DIR "/egbbso.so", G_MODULE_BIND_LAZY);
    ASSERT_NE(module, nullptr);
    gpointer load_entry = nullptr, probe_entry = nullptr;
    ASSERT_TRUE(g_module_symbol(module, "load_egbb_5men", &load_entry));
    ASSERT_TRUE(g_module_symbol(module, "probe_egbb_5men", &probe_entry));
    auto load = reinterpret_cast<int (*)(const char*, int, int)>(load_entry);
    auto probe =
        reinterpret_cast<int (*)(int, int, int, int, int, int, int, int, int)>(probe_entry);
    gchar* empty = g_dir_make_tmp("orbelin-egbb-XXXXXX", nullptr);
    ASSERT_NE(empty, nullptr);
    for (int round = 0; round < 6; round++) {
        SCOPED_TRACE(round);
        bool tables = round % 3 != 1;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(load(tables ? EGBB_REAL_DIR : empty, 1 << 20, 2), tables ? 1 : 0);
        ::testing::internal::GetCapturedStderr();
        // Queen against rook: White king a1, queen b1, Black king e5, rook h8.
        int score = probe(0, sq("a1"), sq("e5"), 2, sq("b1"), 9, sq("h8"), 0, 0);
        if (tables) {
            EXPECT_GE(score, 7000);
            EXPECT_LT(score, 9000);
        } else {
            EXPECT_EQ(score, EGBB_UNKNOWN);
        }
    }
    g_rmdir(empty);
    g_free(empty);
    g_module_close(module);
}

// SyzygyPath: folders of Syzygy tables besides "Bitbases Path", read in addition to its files;
// where both hold a table, the SyzygyPath copy is the one read. Here the bitbase folder holds
// the plug-in and a truncated KQvKR table, and SyzygyPath a copy of the shipped tables.
class SyzygyPath : public RealBitbases {};

TEST_F(SyzygyPath, AddsItsTablesAndComesFirst) {
    gchar* plug_in = g_dir_make_tmp("orbelin-bitbases-XXXXXX", nullptr);
    gchar* tables  = g_dir_make_tmp("orbelin-syzygy-XXXXXX", nullptr);
    ASSERT_TRUE(plug_in != nullptr && tables != nullptr);
    const std::string plug_in_dir = plug_in, tables_dir = tables;
    ASSERT_EQ(symlink(EGBB_REAL_DIR "/egbbso.so", (plug_in_dir + "/egbbso.so").c_str()), 0);
    std::vector<std::string> copied;
    GDir* shipped = g_dir_open(SYZYGY_FILES, 0, nullptr);
    ASSERT_NE(shipped, nullptr);
    while (const gchar* name = g_dir_read_name(shipped)) {
        if (!g_str_has_suffix(name, ".rtbw")) continue;
        gchar* contents  = nullptr;
        gsize length     = 0;
        std::string from = std::string(SYZYGY_FILES) + "/" + name, to = tables_dir + "/" + name;
        ASSERT_TRUE(g_file_get_contents(from.c_str(), &contents, &length, nullptr));
        ASSERT_TRUE(g_file_set_contents(to.c_str(), contents, gssize(length), nullptr));
        if (std::string(name) == "KQvKR.rtbw") {
            ASSERT_TRUE(g_file_set_contents((plug_in_dir + "/" + name).c_str(), contents,
                                            gssize(length / 2), nullptr));
        }
        g_free(contents);
        copied.push_back(to);
    }
    g_dir_close(shipped);
    ASSERT_EQ(copied.size(), 35u);
    PositionPtr queen_rook = make_position("8/1r6/8/3k4/8/8/8/Q3K3 w - - 0 1");
    PositionPtr rook_pawn  = make_position("8/8/8/4k3/8/8/3RP3/4K3 w - - 0 1");

    // Without SyzygyPath: the truncated table is left out and nothing else is known.
    g_strlcpy(option_syzygy_path, "<empty>", sizeof option_syzygy_path);
    std::string report = load(plug_in_dir);
    EXPECT_NE(report.find("KQvKR.rtbw left out: truncated"), std::string::npos) << report;
    EXPECT_EQ(probe_score(*queen_rook), EGBB_UNKNOWN);
    EXPECT_EQ(probe_score(*rook_pawn), EGBB_UNKNOWN);

    // With it: every table of the folder, the good KQvKR in place of the truncated one.
    g_strlcpy(option_syzygy_path, tables, sizeof option_syzygy_path);
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    bitbases_load();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "info string endgame bitbases loaded (" +
                                                            plug_in_dir + "/egbbso.so, tables in " +
                                                            plug_in_dir + ":" + tables_dir + ")\n");
    report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(report.find("left out"), std::string::npos) << report;
    EXPECT_NE(report.find("0 Gaviota and 35 Syzygy tables"), std::string::npos) << report;
    EXPECT_GE(probe_score(*queen_rook), 7000);
    EXPECT_GE(probe_score(*rook_pawn), 7000);

    // An empty value means no more folders again.
    g_strlcpy(option_syzygy_path, "", sizeof option_syzygy_path);
    load(plug_in_dir);
    EXPECT_EQ(probe_score(*queen_rook), EGBB_UNKNOWN);

    bitbases_unload();
    for (const std::string& file : copied)
        g_unlink(file.c_str());
    g_unlink((plug_in_dir + "/KQvKR.rtbw").c_str());
    g_unlink((plug_in_dir + "/egbbso.so").c_str());
    g_rmdir(plug_in);
    g_rmdir(tables);
    g_free(plug_in);
    g_free(tables);
}

} // namespace
} // namespace orbelin
