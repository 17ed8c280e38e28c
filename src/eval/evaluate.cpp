// The evaluation driver: material and phase, the bitbase and rule-table shortcuts, the order of
// the terms, the lazy exit and the blend of the opening and endgame scores.
#include "eval/evaluate.h"

#include "egbb/egbb.h"
#include "eval/pawns.h"

namespace orbelin {

// Number of pieces on a board that holds few of them (knights, bishops, rooks, queens): two
// tests cover the usual zero to two, a full count is needed only after promotions.
template <bool HW> static inline int piece_count(Bitboard b) {
    if constexpr (HW) {
        return count_bits<true>(b);
    } else {
        Bitboard rest = b & (b - 1);
        int n         = (b != 0) + (rest != 0);
        rest &= rest - 1;
        return rest ? n + bit_count(rest) : n;
    }
}

// The body of eval_material, inlined into evaluate: as a call, its field-by-field stores to the
// record are read back right away as wider loads, which wait for the stores to drain.
template <bool HW>
[[gnu::always_inline]] static inline void material_terms(const Position& pos, EvalInfo& info) {
    const Bitboard* bb = pos.bitboards;
    int pawns[2], knights[2], bishops[2], rooks[2], queens[2];
    for (int c = WHITE; c <= BLACK; c++) {
        pawns[c]   = count_bits<HW>(bb[WHITE_PAWN + c]);
        knights[c] = piece_count<HW>(bb[WHITE_KNIGHT + c]);
        bishops[c] = piece_count<HW>(bb[WHITE_BISHOP + c]);
        rooks[c]   = piece_count<HW>(bb[WHITE_ROOK + c]);
        queens[c]  = piece_count<HW>(bb[WHITE_QUEEN + c]);
    }
    for (int c = WHITE; c <= BLACK; c++) {
        int e               = c ^ 1;
        int enemy_pieces    = knights[e] + bishops[e] + rooks[e] + queens[e];
        info.king_danger[c] = queens[e] >= 1 && enemy_pieces >= 2;
        info.nonpawn_material[c] =
            325 * (knights[c] + bishops[c]) + 500 * rooks[c] + 975 * queens[c];
    }
    int m = 24 - (knights[WHITE] + bishops[WHITE] + knights[BLACK] + bishops[BLACK]) -
            2 * (rooks[WHITE] + rooks[BLACK]) - 4 * (queens[WHITE] + queens[BLACK]);
    if (m < 0) m = 0;
    info.phase = (m * 256 + 12) / 24;

    int pieces   = info.nonpawn_material[WHITE] - info.nonpawn_material[BLACK];
    info.opening = pieces + 70 * (pawns[WHITE] - pawns[BLACK]);
    info.endgame = pieces + 90 * (pawns[WHITE] - pawns[BLACK]);
    if (bishops[WHITE] >= 2) info.opening += 50, info.endgame += 50;
    if (bishops[BLACK] >= 2) info.opening -= 50, info.endgame -= 50;
}

void eval_material(const Position& pos, EvalInfo& info) { material_terms<false>(pos, info); }

// The tapered score from the side to move's view; the division truncates toward zero, so a
// position and its colour-flipped mirror get opposite White's-view values.
static int blend(const EvalInfo& info, int side) {
    int s = ((256 - info.phase) * info.opening + info.phase * info.endgame) / 256;
    return side == WHITE ? s : -s;
}

// Records what a step added since the last mark.
template <bool TRACED>
static inline void mark(EvalTrace* trace, int term, const EvalInfo& info, int& opening,
                        int& endgame) {
    if (!TRACED) return;
    trace->ran[term]     = 1;
    trace->opening[term] = info.opening - opening;
    trace->endgame[term] = info.endgame - endgame;
    opening              = info.opening;
    endgame              = info.endgame;
}

// The evaluation, with the trace (TRACED, trace not null) or without (trace unused), counting
// bits with the processor's instruction (HW) or the table.
template <bool TRACED, bool HW>
[[gnu::always_inline]] static inline int evaluate_terms(const Position& pos, int alpha, int beta,
                                                        EvalTrace* trace) {
    EvalInfo info;
    int opening = 0, endgame = 0; // the accumulators at the last mark, for the trace
    if (TRACED) *trace = EvalTrace{};

    // Material, bishop pair, phase, king danger.
    material_terms<HW>(pos, info);
    mark<TRACED>(trace, TERM_MATERIAL, info, opening, endgame);
    int men = count_bits<HW>(pos.bitboards[L90]);
    if (TRACED) trace->phase = info.phase, trace->men = men;

    // Small endgames: the bitbases replace the material count; the rule table decides alone.
    info.result = 0;
    if (men <= 5 && bitbases_available() && bitbase_probe(pos, info.result)) {
        if (info.result == 0) {
            if (TRACED) trace->exit = EVAL_EXIT_BITBASE_DRAW;
            return 0;
        }
        info.opening = info.endgame = pos.side == WHITE ? info.result : -info.result;
        mark<TRACED>(trace, TERM_BITBASE, info, opening, endgame);
    } else if (men <= 4 && recognize_endgame(pos, info.result)) {
        if (TRACED) trace->exit = EVAL_EXIT_RECOGNIZED;
        return info.result;
    }

    // Piece-square sums kept by make and unmake, pawn structure, tempo, patterns.
    info.opening += pos.pst_opening;
    info.endgame += pos.pst_endgame;
    mark<TRACED>(trace, TERM_PST, info, opening, endgame);
    eval_pawns(pos, info);
    mark<TRACED>(trace, TERM_PAWNS, info, opening, endgame);
    if (pos.side == WHITE) {
        info.opening += 20;
        info.endgame += 10;
    } else {
        info.opening -= 20;
        info.endgame -= 10;
    }
    mark<TRACED>(trace, TERM_TEMPO, info, opening, endgame);
    eval_patterns(pos, info);
    mark<TRACED>(trace, TERM_PATTERNS, info, opening, endgame);

    // Lazy exit, once some material has left the board.
    if (info.phase > 6) {
        int s = blend(info, pos.side);
        if (s - 200 >= beta || s + 200 <= alpha) {
            if (TRACED) trace->exit = EVAL_EXIT_LAZY;
            return s;
        }
    }

    // The costly terms; king safety reads the attack counts that the piece term leaves.
    eval_pieces(pos, info);
    mark<TRACED>(trace, TERM_PIECES, info, opening, endgame);
    eval_king_safety(pos, info);
    mark<TRACED>(trace, TERM_KING_SAFETY, info, opening, endgame);
    eval_passers(pos, info);
    mark<TRACED>(trace, TERM_PASSERS, info, opening, endgame);

    info.result = blend(info, pos.side);
    return info.result;
}

int evaluate_traced(const Position& pos, int alpha, int beta, EvalTrace* trace) {
    if (trace == nullptr) return evaluate(pos, alpha, beta);
    return evaluate_terms<true, false>(pos, alpha, beta, trace);
}

[[gnu::target("popcnt")]] static int evaluate_popcnt(const Position& pos, int alpha, int beta) {
    return evaluate_terms<false, true>(pos, alpha, beta, nullptr);
}
static int evaluate_table(const Position& pos, int alpha, int beta) {
    return evaluate_terms<false, false>(pos, alpha, beta, nullptr);
}

int evaluate(const Position& pos, int alpha, int beta) {
    return eval_popcnt ? evaluate_popcnt(pos, alpha, beta) : evaluate_table(pos, alpha, beta);
}

} // namespace orbelin
