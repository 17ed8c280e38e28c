#pragma once
// The static evaluation: the per-call record, the driver and its terms. Every searching thread
// evaluates its own position; the only shared data reached are the pawn hash and the bitbases.
#include "board/position.h"
#include "board/tables.h"

#include <array>
#include <cstdint>

namespace orbelin {

// One evaluation's working record, on the caller's stack. Scores are White's view.
struct EvalInfo {
    std::int32_t king_danger[2];      // by king colour: its opponent has a queen and one more piece
    std::int32_t nonpawn_material[2]; // 325 per knight or bishop, 500 per rook, 975 per queen
    std::int32_t phase;               // 0 with every piece on the board, 256 with none
    std::int32_t opening;
    std::int32_t endgame;
    Bitboard passers[2];                // passed pawns by colour, from the pawn term
    std::int32_t king_attackers[2];     // by attacked king colour, from the piece term
    std::int32_t king_attack_weight[2]; // knight and bishop 1, rook 2, queen 4
    std::int32_t result;                // side to move's view
};

// Steps of one evaluation in their calling order, for the trace.
constexpr int TERM_MATERIAL    = 0;
constexpr int TERM_BITBASE     = 1; // the bitbase score less the material it replaces
constexpr int TERM_PST         = 2;
constexpr int TERM_PAWNS       = 3;
constexpr int TERM_TEMPO       = 4;
constexpr int TERM_PATTERNS    = 5;
constexpr int TERM_PIECES      = 6;
constexpr int TERM_KING_SAFETY = 7;
constexpr int TERM_PASSERS     = 8;
constexpr int TERM_COUNT       = 9;
inline constexpr std::array<const char*, TERM_COUNT> TERM_NAMES = {
    "material", "bitbase", "pst", "pawns", "tempo", "patterns", "pieces", "king safety", "passers"};

// How an evaluation ended.
constexpr int EVAL_EXIT_FULL         = 0; // every term ran
constexpr int EVAL_EXIT_BITBASE_DRAW = 1; // the bitbases said draw: 0
constexpr int EVAL_EXIT_RECOGNIZED   = 2; // the endgame rule table gave the score
constexpr int EVAL_EXIT_LAZY         = 3; // far outside the window before the piece terms

// What each step of one evaluation added (White's view), filled by evaluate_traced.
struct EvalTrace {
    std::int32_t ran[TERM_COUNT]; // 1 when the step ran
    std::int32_t opening[TERM_COUNT];
    std::int32_t endgame[TERM_COUNT];
    std::int32_t phase;
    std::int32_t men;
    std::int32_t exit; // EVAL_EXIT_*
};

// The static score of the position from the side to move's view. alpha and beta are the
// caller's window, used only to skip the piece, king-safety and passed-pawn terms when the
// score is more than 200 outside it (never with every piece on the board). Allocates nothing
// and takes no lock; may write a pawn hash slot and count a bitbase hit.
int evaluate(const Position& pos, int alpha, int beta);
// evaluate, also recording each step in trace (which may be null).
int evaluate_traced(const Position& pos, int alpha, int beta, EvalTrace* trace);

// Number of set bits, by four lookups in popcount16.
inline int bit_count(Bitboard b) {
    return popcount16[b & 0xFFFF] + popcount16[(b >> 16) & 0xFFFF] +
           popcount16[(b >> 32) & 0xFFFF] + popcount16[b >> 48];
}

// Whether the evaluation counts bits with the processor's population-count instruction (set at
// start-up when the processor has one) or with popcount16; both give the same counts. Written
// only before any search runs (a test may turn it off); read by every evaluation.
inline bool eval_popcnt = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("popcnt") != 0;
}();

// bit_count by the processor's instruction (HW) or by the table. Only a function compiled
// for a target with the instruction may inline the HW form: elsewhere the compiler turns it
// into a library call.
template <bool HW> inline int count_bits(Bitboard b) {
    if constexpr (HW)
        return __builtin_popcountll(b);
    else
        return bit_count(b);
}

// Chebyshev distance: the number of king steps between two squares.
inline int square_distance(int a, int b) {
    int df = file_of(a) - file_of(b), dr = rank_of(a) - rank_of(b);
    df = df < 0 ? -df : df;
    dr = dr < 0 ? -dr : dr;
    return df > dr ? df : dr;
}

// The same board seen from the other side: rank r moves to rank 7 - r (square s to s ^ 56).
inline Bitboard flip_ranks(Bitboard b) { return __builtin_bswap64(b); }

// The terms, each adding to info.opening and info.endgame (White's view).
// Sets king_danger, nonpawn_material, phase, and opening and endgame to material plus the
// bishop pair (overwriting them).
void eval_material(const Position& pos, EvalInfo& info);
// Fixed-square patterns: blocked centre pawns and bishops, trapped bishops, shut-in rooks.
void eval_patterns(const Position& pos, EvalInfo& info);
// Mobility, outposts, rook files, seventh rank, queen closeness; sets king_attackers and
// king_attack_weight of both kings. Reads king_danger.
void eval_pieces(const Position& pos, EvalInfo& info);
// Shelter, pawn storm and piece attacks around each king, opening only. Reads the attack counts
// of eval_pieces and clears king_danger of a king castled behind an intact shield.
void eval_king_safety(const Position& pos, EvalInfo& info);
// The rule table for at most four men: answers true and writes score (side to move's view) for
// the dead draws and the basic mates, false (score untouched) for anything else.
bool recognize_endgame(const Position& pos, int& score);

} // namespace orbelin
