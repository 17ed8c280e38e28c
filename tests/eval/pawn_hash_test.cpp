// The pawn hash: a hit gives exactly the fresh computation, a torn or foreign slot reads as a
// miss (its passers never leak), colour-swapped skeletons get their own keys, and two threads
// fighting over one slot always read correct answers.
#include "eval_checks.h"
#include "moves/make.h"
#include "moves/picker.h"

#include <atomic>
#include <glib.h>
#include <gtest/gtest.h>
#include <map>

namespace orbelin {
namespace {

struct PawnAnswer {
    int opening;
    int endgame;
    Bitboard passers[2];
};

// eval_pawns on a fresh record whose passers hold junk, as the stack would.
PawnAnswer through_table(const Position& pos) {
    EvalInfo info{};
    info.passers[WHITE] = info.passers[BLACK] = 0xDEADBEEFULL;
    eval_pawns(pos, info);
    return {info.opening, info.endgame, {info.passers[WHITE], info.passers[BLACK]}};
}

PawnAnswer fresh(const Position& pos) {
    PawnAnswer a;
    std::uint64_t scores = pawn_structure(pos, a.passers);
    a.opening            = pawn_scores_opening(scores);
    a.endgame            = pawn_scores_endgame(scores);
    return a;
}

::testing::AssertionResult same(const PawnAnswer& a, const PawnAnswer& b) {
    if (a.opening != b.opening || a.endgame != b.endgame)
        return ::testing::AssertionFailure() << "scores " << a.opening << "," << a.endgame
                                             << " against " << b.opening << "," << b.endgame;
    if (a.passers[WHITE] != b.passers[WHITE] || a.passers[BLACK] != b.passers[BLACK])
        return ::testing::AssertionFailure() << "passers";
    return ::testing::AssertionSuccess();
}

bool is_hit(const Position& pos) {
    PawnHashEntry* slot = nullptr;
    std::uint64_t scores;
    Bitboard passers[2];
    return pawn_hash_probe(pawn_key(pos), slot, scores, passers);
}

// Every position of a two-ply walk: the first look may miss or hit (earlier skeletons), the
// second must hit, and both must equal the fresh computation.
void walk(Position& pos, int depth, int& hits_before) {
    hits_before += is_hit(pos);
    PawnAnswer expected = fresh(pos);
    EXPECT_TRUE(same(through_table(pos), expected));
    EXPECT_TRUE(is_hit(pos));
    EXPECT_TRUE(same(through_table(pos), expected));
    if (depth == 0 || ::testing::Test::HasFailure()) return;
    MoveList list;
    list.stage = 0;
    while (next_move(pos, list)) {
        walk(pos, depth - 1, hits_before);
        unmake_move(pos);
    }
}

TEST(PawnHash, HitEqualsFreshComputation) {
    pawn_hash_alloc();
    int hits_before = 0;
    for (const char* fen : {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                            "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
                            "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1"}) {
        SCOPED_TRACE(fen);
        auto pos = make_position(fen);
        walk(*pos, 2, hits_before);
    }
    EXPECT_GT(hits_before, 1000); // most positions of a walk share a skeleton met before
}

TEST(PawnHash, ColourSwappedSkeletonsAreDifferentEntries) {
    pawn_hash_alloc();
    const char* pairs[][2] = {
        {"4k3/8/8/4p3/4P3/8/8/4K3 w - - 0 1", "4k3/8/8/4P3/4p3/8/8/4K3 w - - 0 1"},
        {"4k3/8/8/8/8/8/P7/4K3 w - - 0 1", "4k3/8/8/8/8/8/p7/4K3 w - - 0 1"},
        {"4k3/pp6/8/8/8/8/PP6/4K3 w - - 0 1", "4k3/PP6/8/8/8/8/pp6/4K3 w - - 0 1"},
    };
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair[0]);
        auto a = make_position(pair[0]);
        auto b = make_position(pair[1]);
        EXPECT_NE(pawn_key(*a), pawn_key(*b));
        through_table(*a);
        EXPECT_TRUE(same(through_table(*b), fresh(*b)));
        EXPECT_TRUE(same(through_table(*a), fresh(*a)));
    }
}

TEST(PawnHash, NoPawnsIsKeyZeroAndAZeroedSlotAnswersRight) {
    auto pos = make_position("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(pawn_key(*pos), 0u);
    pawn_hash_free();
    pawn_hash_alloc(); // fresh, zeroed
    EXPECT_TRUE(is_hit(*pos));
    EXPECT_TRUE(same(through_table(*pos), fresh(*pos)));
}

// A slot whose words do not all come from one store, or that belongs to another key of the
// same index, is a miss; the passers it held do not reach the result.
TEST(PawnHash, TornOrForeignSlotReadsAsMiss) {
    pawn_hash_alloc();
    auto pos            = make_position("4k3/p4pp1/8/3P4/8/8/5PPP/4K3 w - - 0 1");
    std::uint64_t key   = pawn_key(*pos);
    PawnAnswer expected = fresh(*pos);
    ASSERT_NE(expected.passers[WHITE], 0u);
    const Bitboard bogus[2] = {0xFF00, 0x00FF000000000000ULL};
    PawnHashEntry* slot     = nullptr;
    std::uint64_t scores;
    Bitboard passers[2];
    pawn_hash_probe(key, slot, scores, passers);

    // A whole, valid slot is believed (so the cases below test the check, not a bypass).
    pawn_hash_store(key, slot, pawn_scores_pack(111, 222), bogus);
    PawnAnswer believed = through_table(*pos);
    EXPECT_EQ(believed.opening, 111);
    EXPECT_EQ(believed.endgame, 222);
    EXPECT_EQ(believed.passers[WHITE], bogus[WHITE]);

    for (int word = 0; word < 5; word++) {
        SCOPED_TRACE(word);
        pawn_hash_store(key, slot, pawn_scores_pack(111, 222), bogus);
        switch (word) { // one word as another store would have left it
        case 0:
            slot->check ^= 0x10;
            break;
        case 1:
            slot->scores ^= 0x10;
            break;
        case 2:
            slot->passers[WHITE] ^= 0x10;
            break;
        case 3:
            slot->passers[BLACK] ^= 0x10;
            break;
        default: // the slot belongs to another key of the same index
            pawn_hash_store(key + PAWN_HASH_ENTRIES, slot, pawn_scores_pack(111, 222), bogus);
        }
        EXPECT_FALSE(is_hit(*pos));
        EXPECT_TRUE(same(through_table(*pos), expected));
        EXPECT_TRUE(is_hit(*pos)); // recomputed and stored
    }
}

// Skeletons with distinct keys on one slot, found by trying pawn sets in turn.
void colliding_positions(Position& a, Position& b) {
    std::map<std::uint32_t, Bitboard> seen;
    GRand* rng = g_rand_new_with_seed(7);
    for (;;) {
        Bitboard white = 0;
        for (int i = 0; i < 6; i++)
            white |= bit(8 + g_rand_int_range(rng, 0, 40));
        position_clear(a);
        position_put_piece(a, WHITE_KING, sq("e1"));
        position_put_piece(a, BLACK_KING, sq("e8"));
        for (Bitboard w = white; w;)
            position_put_piece(a, WHITE_PAWN, pop_lsb(w));
        position_put_piece(a, BLACK_PAWN, sq("h7"));
        std::uint32_t index = std::uint32_t(pawn_key(a) % PAWN_HASH_ENTRIES);
        auto found          = seen.find(index);
        if (found != seen.end() && found->second != white) {
            position_clear(b);
            position_put_piece(b, WHITE_KING, sq("e1"));
            position_put_piece(b, BLACK_KING, sq("e8"));
            for (Bitboard w = found->second; w;)
                position_put_piece(b, WHITE_PAWN, pop_lsb(w));
            position_put_piece(b, BLACK_PAWN, sq("h7"));
            break;
        }
        seen[index] = white;
    }
    g_rand_free(rng);
}

struct Hammer {
    const Position* pos;
    PawnAnswer expected;
    std::atomic<int>* wrong;
    int rounds;
};

gpointer hammer(gpointer data) {
    auto* h = static_cast<Hammer*>(data);
    for (int i = 0; i < h->rounds; i++)
        if (!same(through_table(*h->pos), h->expected)) h->wrong->fetch_add(1);
    return nullptr;
}

TEST(PawnHash, TwoThreadsOnOneSlotAlwaysReadTheirOwnAnswer) {
    pawn_hash_alloc();
    PositionPtr a(position_new()), b(position_new());
    colliding_positions(*a, *b);
    ASSERT_NE(pawn_key(*a), pawn_key(*b));
    ASSERT_EQ(pawn_key(*a) % PAWN_HASH_ENTRIES, pawn_key(*b) % PAWN_HASH_ENTRIES);
    ASSERT_FALSE(same(fresh(*a), fresh(*b)));
    std::atomic<int> wrong{0};
    Hammer ha{a.get(), fresh(*a), &wrong, 200000}, hb{b.get(), fresh(*b), &wrong, 200000};
    GThread* ta = g_thread_new("pawn-a", hammer, &ha);
    GThread* tb = g_thread_new("pawn-b", hammer, &hb);
    g_thread_join(ta);
    g_thread_join(tb);
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
} // namespace orbelin
