// The evaluation's terms on positions worked out by hand: each case names one term and the
// (opening, endgame) pair it must add, White's view, when evaluated through the driver.
#include "eval_checks.h"

#include <gtest/gtest.h>

namespace orbelin {
namespace {

struct TermCase {
    const char* fen;
    int term; // TERM_*
    int opening;
    int endgame;
};

void expect_terms(const TermCase* cases, std::size_t count) {
    for (std::size_t i = 0; i < count; i++) {
        const TermCase& c = cases[i];
        SCOPED_TRACE(std::string(TERM_NAMES[c.term]) + " in " + c.fen);
        EvalTrace trace = trace_of(c.fen);
        EXPECT_EQ(trace.exit, EVAL_EXIT_FULL);
        EXPECT_EQ(trace.opening[c.term], c.opening);
        EXPECT_EQ(trace.endgame[c.term], c.endgame);
    }
}

TEST(EvalDriver, StartPositionIsTheTempoForEitherSide) {
    for (const char* fen : {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1"}) {
        SCOPED_TRACE(fen);
        int score       = 0;
        EvalTrace trace = trace_of(fen, &score);
        EXPECT_EQ(score, 20);
        EXPECT_EQ(trace.phase, 0);
        for (int t = 0; t < TERM_COUNT; t++)
            if (t != TERM_TEMPO) {
                EXPECT_EQ(trace.opening[t], 0) << TERM_NAMES[t];
                EXPECT_EQ(trace.endgame[t], 0) << TERM_NAMES[t];
            }
    }
}

TEST(EvalDriver, PhaseFromThePiecesClampedAtZero) {
    struct {
        const char* fen;
        int phase;
    } const cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0},
        {"1n2kb2/pppppppp/8/8/8/8/PPPPPPPP/1N2KB2 w - - 0 1", 213}, // (20 * 256 + 12) / 24
        {"4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - - 0 1", 256},
        {"rnbqkbnr/pppppppp/8/8/8/QQ6/2PPPPPP/RNBQKBNR w KQkq - 0 1", 0}, // three queens
        {"4k3/pppppppp/8/8/8/8/PPPPPPPP/4K2R w - - 0 1", 235},            // (22 * 256 + 12) / 24
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        EXPECT_EQ(trace_of(c.fen).phase, c.phase);
    }
}

const TermCase MATERIAL_CASES[] = {
    // Two extra queens for two pawns: 70 and 90 per pawn.
    {"rnbqkbnr/pppppppp/8/8/8/QQ6/2PPPPPP/RNBQKBNR w KQkq - 0 1", TERM_MATERIAL, 1810, 1770},
    // The bishop pair, whether or not the bishops run on different colours; one each: nothing.
    {"4k3/pppppppp/8/8/8/8/PPPPPPPP/2B1KB2 w - - 0 1", TERM_MATERIAL, 700, 700},
    {"4k3/pppppppp/8/8/8/8/PPPPPPPP/2B1K1B1 w - - 0 1", TERM_MATERIAL, 700, 700},
    {"2b1k3/pppppppp/8/8/8/8/PPPPPPPP/2B1K3 w - - 0 1", TERM_MATERIAL, 0, 0},
    {"2b1kb2/pppppppp/8/8/8/8/PPPPPPPP/2B1K3 w - - 0 1", TERM_MATERIAL, -375, -375},
    // Knight and bishop both 325 here.
    {"4k3/pppppppp/8/8/8/8/PPPPPPPP/1N2K3 w - - 0 1", TERM_MATERIAL, 325, 325},
    {"4k3/ppppppp1/8/8/8/8/PPPPPPPP/4K2R w - - 0 1", TERM_MATERIAL, 570, 590},
};

TEST(EvalMaterial, PieceValuesPawnsAndBishopPair) {
    expect_terms(MATERIAL_CASES, std::size(MATERIAL_CASES));
}

const TermCase PAWN_CASES[] = {
    // e2 against e7: both isolated and closed, net 0.
    {"4k3/4p3/8/8/8/8/4P3/4K3 w - - 0 1", TERM_PAWNS, 0, 0},
    // a3 doubled over a2; none isolated; a3 and b2 are passed (nothing for them here).
    {"4k3/8/8/8/8/P7/PP6/4K3 w - - 0 1", TERM_PAWNS, -10, -20},
    // An isolated pawn on an open file, then with an enemy pawn ahead (which is isolated too,
    // and open, and is doubled with the one behind it).
    {"4k3/8/8/8/3P4/8/8/4K3 w - - 0 1", TERM_PAWNS, -20, -20},
    {"4k3/8/8/3p4/3P4/8/8/4K3 w - - 0 1", TERM_PAWNS, 0, 0},
    {"4k3/3p4/3p4/8/3P4/8/8/4K3 w - - 0 1", TERM_PAWNS, 20, 40},
    // d4 isolated and closed (-10, -20); Black's e6 backward on an open file (-16, -10).
    {"4k3/8/4p3/3p4/3P4/8/8/4K3 w - - 0 1", TERM_PAWNS, 6, -10},
    // d4 a candidate on the fourth rank (+10, +20); Black's e6 isolated and closed.
    {"4k3/8/4p3/8/3PP3/8/8/4K3 w - - 0 1", TERM_PAWNS, 20, 40},
    // c2 may still step to c4 beside d4: not backward; with a Black pawn on b5 it is (open),
    // and b5 is isolated and open.
    {"4k3/8/8/8/3P4/8/2P5/4K3 w - - 0 1", TERM_PAWNS, 0, 0},
    {"4k3/8/8/1p6/3P4/8/2P5/4K3 w - - 0 1", TERM_PAWNS, 4, 10},
    // A candidate on the sixth rank: 35 / 70; Black's b7 is isolated and closed.
    {"4k3/1p6/2P5/1P6/8/8/8/4K3 w - - 0 1", TERM_PAWNS, 45, 90},
    // d4 is no candidate: nothing defends it against c5; e4 is passed; c5 isolated and open.
    {"4k3/8/8/2p5/3PP3/8/8/4K3 w - - 0 1", TERM_PAWNS, 20, 20},
    // d3 backward behind e4 and closed (-8, -10); e4, c5 candidates on the fourth rank.
    {"4k3/8/8/2pp4/4P3/3P4/8/4K3 w - - 0 1", TERM_PAWNS, -8, -10},
};

// Through the structure computation itself: several of these small positions are endgames
// the rule table settles before the pawn term would run.
TEST(EvalPawns, StructureRows) {
    for (const TermCase& c : PAWN_CASES) {
        SCOPED_TRACE(c.fen);
        auto pos = make_position(c.fen);
        Bitboard passers[2];
        std::uint64_t scores = pawn_structure(*pos, passers);
        EXPECT_EQ(pawn_scores_opening(scores), c.opening);
        EXPECT_EQ(pawn_scores_endgame(scores), c.endgame);
    }
}

TEST(EvalPawns, PassedPawnsFound) {
    struct {
        const char* fen;
        Bitboard white;
        Bitboard black;
    } const cases[] = {
        {"4k3/8/8/8/8/P7/PP6/4K3 w - - 0 1", bit(sq("a3")) | bit(sq("b2")), 0},
        {"4k3/8/8/1p6/3P4/8/2P5/4K3 w - - 0 1", bit(sq("d4")), 0},
        {"4k3/4p3/8/8/8/8/4P3/4K3 w - - 0 1", 0, 0},
        {"4k3/p7/8/8/8/8/5P2/4K3 w - - 0 1", bit(sq("f2")), bit(sq("a7"))},
        {"4k3/8/8/8/2p5/8/1P6/4K3 w - - 0 1", 0, 0}, // each stops the other
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        auto pos = make_position(c.fen);
        Bitboard passers[2];
        pawn_structure(*pos, passers);
        EXPECT_EQ(passers[WHITE], c.white);
        EXPECT_EQ(passers[BLACK], c.black);
    }
}

const TermCase PASSER_CASES[] = {
    // Sixth-rank pawn, enemy rook on the board, enemy king 4 from the stop square, own king 1:
    // B = 120 + 80 - 5 = 195, endgame 20 + (195 * 154 + 128) / 256 = 137, opening 46.
    {"3K4/6k1/2P5/8/8/8/8/7r w - - 0 1", TERM_PASSERS, 46, 137},
    // King and pawn against king, the defending king outside the square: 920 + 100 - 25.
    {"8/8/8/2P4k/8/8/8/4K3 w - - 0 1", TERM_PASSERS, 28, 319},
    // Inside the square: 120 + 60 - 25.
    {"8/8/5k2/2P5/8/8/8/4K3 w - - 0 1", TERM_PASSERS, 28, 67},
    // g6 is outside with White to move, inside with Black to move (the defender's tempo).
    // B = 920 + 80 - 25 = 975: 20 + 293.
    {"8/8/6k1/2P5/8/8/8/4K3 w - - 0 1", TERM_PASSERS, 28, 313},
    // B = 120 + 80 - 25 = 175: 20 + 53.
    {"8/8/6k1/2P5/8/8/8/4K3 b - - 0 1", TERM_PASSERS, 28, 73},
    // Inside the square but the own king on the seventh rank beside the pawn: 920 + 40 - 5,
    // 20 + 574.
    {"4k3/7K/6P1/8/8/8/8/8 w - - 0 1", TERM_PASSERS, 46, 594},
    // A rook pawn with the own king in front of it on its file: 120 + 40, 20 + 96.
    {"5k2/7K/7P/8/8/8/8/8 w - - 0 1", TERM_PASSERS, 46, 116},
    // Own king directly in front of a d-pawn: no square rule, and the king rule gives 920
    // (+ 20 * 3 for the enemy king, - 0 for the own king): 20 + 590.
    {"k7/3K4/3P4/8/8/8/8/8 w - - 0 1", TERM_PASSERS, 46, 610},
    // A knight ahead on the file also skips the square rule: 120 + 80 - 25, 20 + 53; without
    // it the pawn is unstoppable.
    {"8/4N3/8/4P3/8/k7/8/K7 w - - 0 1", TERM_PASSERS, 28, 73},
    {"8/8/8/4P3/8/k7/8/K7 w - - 0 1", TERM_PASSERS, 28, 313},
    // Black's passer scored the mirrored way, from White's view.
    {"7R/8/8/8/8/2p5/6K1/3k4 b - - 0 1", TERM_PASSERS, -46, -137},
};

TEST(EvalPassers, KingDistancesSquareRuleAndSeventhRankKing) {
    expect_terms(PASSER_CASES, std::size(PASSER_CASES));
}

const TermCase PIECE_CASES[] = {
    // Knight in the corner: 2 squares, 4 * (2 - 4).
    {"7k/7p/8/8/8/8/7P/N6K w - - 0 1", TERM_PIECES, -8, -8},
    // Knight on d5 with pawns on c4 and e4: 8 squares, outpost 10 twice.
    {"k7/8/8/3N4/2P1P3/8/8/7K w - - 0 1", TERM_PIECES, 36, 16},
    // Rook on d1: 13 squares (2 * 6, 4 * 6); open file +10 / +10.
    {"k7/p7/8/8/8/8/7P/3R3K w - - 0 1", TERM_PIECES, 22, 34},
    // Only an enemy pawn on the file: 12 squares, no file bonus.
    {"k7/3p4/8/8/8/8/7P/3R3K w - - 0 1", TERM_PIECES, 10, 20},
    // An own pawn on the file: 6 squares, -10 / -10.
    {"k7/p7/8/8/8/8/3P3P/3R3K w - - 0 1", TERM_PIECES, -12, -14},
    // Queen and rook against the king: the rook on the file beside the king's +10 in the
    // opening, on the king's file +20; the queen's closeness 10 - 11.
    {"4k3/p7/8/8/8/8/7P/Q2R3K w - - 0 1", TERM_PIECES, 29, 29},
    {"4k3/p7/8/8/8/8/7P/Q3R2K b - - 0 1", TERM_PIECES, 39, 29},
    // Rook on h7 with the king on h8 and no pawn on the seventh: 14 squares, open file, and
    // +20 / +40 for the seventh rank.
    {"7k/7R/8/8/8/8/P7/K7 b - - 0 1", TERM_PIECES, 44, 78},
    // Queen on g7 diagonally next to the king on h8: closeness 8, seventh rank +10 / +20.
    {"7k/6Q1/8/8/8/8/P7/K7 b - - 0 1", TERM_PIECES, 18, 28},
    // Bishop with 6 squares: 0.
    {"k7/p7/8/8/8/7P/8/5B1K w - - 0 1", TERM_PIECES, 0, 0},
};

TEST(EvalPieces, MobilityOutpostsFilesSeventhRankCloseness) {
    expect_terms(PIECE_CASES, std::size(PIECE_CASES));
}

const TermCase PATTERN_CASES[] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", TERM_PATTERNS, 0, 0},
    // d2 blocked by the knight on d3 with the bishop still on c1: -10 - 50.
    {"4k3/7p/8/8/8/3N4/3P3P/2B1K3 w - - 0 1", TERM_PATTERNS, -60, 0},
    {"4k3/7p/8/8/8/3N4/3P3P/4K3 w - - 0 1", TERM_PATTERNS, -10, 0},
    // Both centre pawns blocked, both bishops at home; Black's e7 blocked too.
    {"4k3/4p3/4p3/8/8/3NN3/3PP3/2B1KB2 w - - 0 1", TERM_PATTERNS, -110, 0},
    // Bishops trapped by an enemy pawn: a7 / b6, then b8 / c7 and a7 / b6 counted once.
    {"4k3/B6p/1p6/8/8/8/7P/4K3 w - - 0 1", TERM_PATTERNS, -100, -100},
    {"1B2k3/B1p4p/1p6/8/8/8/7P/4K3 w - - 0 1", TERM_PATTERNS, -100, -100},
    {"4k3/7p/B7/1p6/8/8/7P/4K3 w - - 0 1", TERM_PATTERNS, -50, -50},
    {"4k3/7p/8/8/6P1/7b/7P/4K3 w - - 0 1", TERM_PATTERNS, 50, 50},
    // Rooks shut in by their own king; Black's g8 king with the h8 rook.
    {"4k3/7p/8/8/8/8/7P/RK6 w - - 0 1", TERM_PATTERNS, -50, 0},
    {"6kr/7p/8/8/8/8/7P/4K3 w - - 0 1", TERM_PATTERNS, 50, 0},
};

TEST(EvalPatterns, FixedSquarePatterns) { expect_terms(PATTERN_CASES, std::size(PATTERN_CASES)); }

const TermCase KING_CASES[] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", TERM_KING_SAFETY, 0, 0},
    // Black queen and rook against the White king on g1: f2 g2 h2 and f2 g3 h2 are castled
    // shields (danger cleared); f2 g3 h3 is not: shelter 2 * 11 + 0 + 11 = 33.
    {"q5k1/r7/8/8/8/8/5PPP/6K1 w - - 0 1", TERM_KING_SAFETY, 0, 0},
    {"q5k1/r7/8/8/8/6P1/5P1P/6K1 w - - 0 1", TERM_KING_SAFETY, 0, 0},
    {"q5k1/r7/8/8/8/6PP/5P2/6K1 w - - 0 1", TERM_KING_SAFETY, -33, 0},
    // King on e1 without cover: 2 * 36 + 36 + 0 = 108; with the right to castle short behind a
    // perfect shield (0, counted 11) the penalty is (108 + 11) / 2.
    {"q5k1/r7/8/8/8/8/5PPP/4K2R w - - 0 1", TERM_KING_SAFETY, -108, 0},
    {"q5k1/r7/8/8/8/8/5PPP/4K2R w K - 0 1", TERM_KING_SAFETY, -59, 0},
    // A Black pawn on h3 storms the castled king: 30, counted though the danger is cleared.
    {"q5k1/r7/8/8/8/7p/5PPP/6K1 w - - 0 1", TERM_KING_SAFETY, -30, 0},
    // Two knights next to the Black king: (2 * 20 * 128) / 256 = 20.
    {"6k1/5ppp/8/4N2N/8/8/5PPP/6K1 w - - 0 1", TERM_KING_SAFETY, 20, 0},
    // A lone queen (weight 4, one attacker) counts nothing; with a knight: 5 * 20 * 128 / 256.
    {"6k1/5ppp/8/3Q4/8/8/5PPP/6K1 w - - 0 1", TERM_KING_SAFETY, 0, 0},
    {"6k1/5ppp/8/3Q3N/8/8/5PPP/6K1 w - - 0 1", TERM_KING_SAFETY, 50, 0},
};

TEST(EvalKingSafety, ShelterStormAndAttack) { expect_terms(KING_CASES, std::size(KING_CASES)); }

TEST(EvalRecognizer, SmallEndgames) {
    struct {
        const char* fen;
        bool recognized;
        int score; // side to move's view
    } const cases[] = {
        {"8/8/8/8/8/8/8/k1K4R w - - 0 1", true, 1057}, // 1080 - 0 - 22.5
        {"8/8/8/8/8/8/8/k1K4R b - - 0 1", true, -1057},
        {"8/8/8/8/8/8/8/K1k4r b - - 0 1", true, 1057},
        {"8/8/8/8/8/8/8/K1k4r w - - 0 1", true, -1057},
        {"8/8/8/8/4k3/8/4K3/Q7 w - - 0 1", true, 1080}, // 1170 - 67.5 - 22.5
        {"8/8/8/8/4k3/8/4K3/Q7 b - - 0 1", true, -1080},
        {"8/8/8/8/4k3/8/4K3/8 w - - 0 1", true, 0},
        {"8/8/8/8/4k3/8/4K3/6N1 w - - 0 1", true, 0},
        {"8/8/8/8/4k3/8/4K3/6b1 b - - 0 1", true, 0},
        {"8/8/8/8/4k3/8/4K3/6r1 b - - 0 1", true, 1035}, // 1080 - 22.5 - 22.5
        {"8/8/8/8/4k3/8/3PK3/8 w - - 0 1", false, 0},
        // Two bishops: on one colour a draw; on both colours 990 - 22.5 * 0 - 11.25 * 2.
        {"8/8/8/8/8/8/8/k1K1B1B1 w - - 0 1", true, 0},
        {"8/8/8/8/8/8/8/k1K1BB2 w - - 0 1", true, 967},
        {"8/8/8/8/8/8/8/k1K1BB2 b - - 0 1", true, -967},
        // Bishop and knight: the light-square bishop drives to a8 (0 away), the dark one to
        // a1 or h8 (7 away).
        {"k7/2K5/8/8/8/8/8/3B2N1 w - - 0 1", true, 877},
        {"k7/2K5/8/8/8/8/8/4B1N1 w - - 0 1", true, 720},
        // One man each of one kind, and the listed pairs: draws.
        {"8/8/8/8/4k3/4p3/4P3/4K3 w - - 0 1", true, 0},
        {"8/8/8/8/4k3/4n3/8/4K1R1 w - - 0 1", true, 0},
        {"8/8/8/8/4k3/4b3/8/4K1R1 w - - 0 1", true, 0},
        {"8/8/8/8/4k3/8/8/2N1K1N1 w - - 0 1", true, 0},
        // Queen against bishop has the two bishops' difference but is not known.
        {"8/8/8/8/8/8/8/k1K1b2Q w - - 0 1", false, 0},
        {"8/8/8/8/4k3/4p3/8/2R1K1N1 w - - 0 1", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        auto pos  = make_position(c.fen);
        int score = 12345;
        EXPECT_EQ(recognize_endgame(*pos, score), c.recognized);
        EXPECT_EQ(score, c.recognized ? c.score : 12345);
        int evaluated   = 0;
        EvalTrace trace = trace_of(c.fen, &evaluated);
        EXPECT_EQ(trace.exit, c.recognized ? EVAL_EXIT_RECOGNIZED : EVAL_EXIT_FULL);
        if (c.recognized) {
            EXPECT_EQ(evaluated, c.score);
        }
    }
}

} // namespace
} // namespace orbelin
