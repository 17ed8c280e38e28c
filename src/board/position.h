#pragma once
// The position record and its vocabulary: squares, colours, piece codes, castling rights, the
// move word and the move list. A Position belongs to one thread at a time; copies are independent.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace orbelin {

// Square = 8 * rank + file: a1 = 0, h1 = 7, a8 = 56, h8 = 63. Bit n of a bitboard is square n.
using Bitboard = std::uint64_t;

constexpr Bitboard bit(int square) { return Bitboard(1) << square; }
constexpr int file_of(int square) { return square & 7; }
constexpr int rank_of(int square) { return square >> 3; }

constexpr Bitboard FILE_A = 0x0101010101010101ULL;
constexpr Bitboard FILE_H = FILE_A << 7;
constexpr Bitboard RANK_1 = 0xFFULL;
constexpr Bitboard RANK_8 = RANK_1 << 56;

// Lowest set square; the board must not be empty. The builtin is one bit-scan instruction:
// std::countr_zero also answers 64 for an empty board, which costs a test and a move each time.
inline int lsb(Bitboard b) { return __builtin_ctzll(b); }
// Lowest set square, cleared from the board; the board must not be empty.
inline int pop_lsb(Bitboard& b) {
    int square = __builtin_ctzll(b);
    b &= b - 1;
    return square;
}
inline int popcount(Bitboard b) { return std::popcount(b); }

constexpr int WHITE = 0;
constexpr int BLACK = 1;

// Piece codes: the lowest bit is the colour; code XOR 1 is the same kind of the other colour.
constexpr int EMPTY        = 0;
constexpr int WHITE_PAWN   = 2;
constexpr int BLACK_PAWN   = 3;
constexpr int WHITE_KNIGHT = 4;
constexpr int BLACK_KNIGHT = 5;
constexpr int WHITE_BISHOP = 6;
constexpr int BLACK_BISHOP = 7;
constexpr int WHITE_ROOK   = 8;
constexpr int BLACK_ROOK   = 9;
constexpr int WHITE_QUEEN  = 10;
constexpr int BLACK_QUEEN  = 11;
constexpr int WHITE_KING   = 12;
constexpr int BLACK_KING   = 13;

inline constexpr char PIECE_LETTERS[] = "XxPpNnBbRrQqKk";

// clang-format off
//                                                     -  -  P   p   N    n    B    b    R    r    Q    q    K  k
inline constexpr std::array<int, 14> piece_value  = {0, 0, 90, 90, 300, 300, 325, 325, 500, 500, 975, 975, 0, 0};
inline constexpr std::array<int, 14> phase_weight = {0, 0, 0,  0,  1,   1,   1,   1,   2,   2,   4,   4,   0, 0};
// clang-format on

// Bitboard slots: 0 and 1 the colours, 2 to 13 the piece codes, then the rotated occupancies.
constexpr int OCC_WHITE = 0;
constexpr int OCC_BLACK = 1;
constexpr int L90       = 14;
constexpr int L45       = 15;
constexpr int R45       = 16;

constexpr int CASTLE_WK = 1;
constexpr int CASTLE_WQ = 2;
constexpr int CASTLE_BK = 4;
constexpr int CASTLE_BQ = 8;

// A move: bits 0-3 type, 4-9 from, 10-15 to, carried in 32 bits; 0 means no move.
// A promotion type is the black piece code of the new piece.
using Move = std::uint32_t;

constexpr int MOVE_QUIET        = 1;
constexpr int MOVE_CAPTURE      = 2;
constexpr int MOVE_EN_PASSANT   = 3;
constexpr int MOVE_CASTLE       = 4;
constexpr int MOVE_PROMO_KNIGHT = 5;
constexpr int MOVE_PROMO_BISHOP = 7;
constexpr int MOVE_PROMO_ROOK   = 9;
constexpr int MOVE_PROMO_QUEEN  = 11;
constexpr int MOVE_NULL         = 12;

constexpr Move move_pack(int type, int from, int to) { return Move(type | from << 4 | to << 10); }
constexpr int move_type(Move m) { return int(m & 15); }
constexpr int move_from(Move m) { return int(m >> 4 & 63); }
constexpr int move_to(Move m) { return int(m >> 10 & 63); }

static_assert(move_pack(MOVE_QUIET, 12, 28) == 28865);       // e2e4
static_assert(move_pack(MOVE_PROMO_QUEEN, 52, 60) == 62283); // e7e8q

constexpr Move MOVE_CASTLE_WK = move_pack(MOVE_CASTLE, 4, 6);   // e1g1
constexpr Move MOVE_CASTLE_WQ = move_pack(MOVE_CASTLE, 4, 2);   // e1c1
constexpr Move MOVE_CASTLE_BK = move_pack(MOVE_CASTLE, 60, 62); // e8g8
constexpr Move MOVE_CASTLE_BQ = move_pack(MOVE_CASTLE, 60, 58); // e8c8
static_assert(MOVE_CASTLE_WK == 6212 && MOVE_CASTLE_WQ == 2116);
static_assert(MOVE_CASTLE_BK == 64452 && MOVE_CASTLE_BQ == 60356);

// One undo record: the position's state block before a move, and the move.
struct HistoryEntry {
    std::uint64_t key;
    std::int32_t captured;
    std::int32_t static_moves;
    std::int32_t ep_square;
    std::int32_t castling;
    std::int32_t in_check;
    std::int32_t material[2];
    std::int32_t pst_opening;
    std::int32_t pst_endgame;
    std::int32_t extend;
    std::int32_t phase;
    Move move;
};

// Room for the longest game a GUI sends (600 plies and more) plus the deepest search line.
constexpr int HISTORY_SIZE = 1024;
// The deepest a search may go from its root; a game longer than HISTORY_SIZE - MAX_PLY is
// refused by the move reader, so search never overflows the history stack.
constexpr int MAX_PLY = 128;

// The whole board state. Fields key to phase form the state block that a HistoryEntry copies.
// ep_square is the square a capturing pawn moves to, 0 when there is none.
struct Position {
    Bitboard bitboards[17];
    std::int32_t board[64];
    std::int32_t side;
    std::int32_t ply;
    std::uint64_t key;
    std::int32_t captured;
    std::int32_t static_moves;
    std::int32_t ep_square;
    std::int32_t castling;
    std::int32_t in_check;
    std::int32_t material[2];
    std::int32_t pst_opening;
    std::int32_t pst_endgame;
    std::int32_t extend;
    std::int32_t phase;
    // Castling geometry, set up with the position and fixed while any right is held; standard
    // chess and Chess960 differ only here. chess960 is 1 when castling follows the Chess960
    // rules and is written as the king taking its own rook (e1h1, b1a1). By right index i
    // (right 1 << i): castle_move[i] the move word (standard e1g1 e1c1 e8g8 e8c8), castle_path[i]
    // the squares that must be empty (those the king and the rook cross or reach, less their
    // own two). castle_mask[s]: the rights whose king or rook starts on s, which a move from s
    // or a capture on s removes.
    std::int32_t chess960;
    Move castle_move[4];
    Bitboard castle_path[4];
    std::uint8_t castle_mask[64];
    HistoryEntry history[HISTORY_SIZE];
};
static_assert(std::is_trivially_copyable_v<Position>); // copied whole for worker threads

// The state block, key to phase, lies in the Position and in a HistoryEntry with the same
// layout, so saving and restoring it is one copy of STATE_BYTES. Both copies move the block in
// the same pieces: a save that reads what the last restore wrote then finds it in the store
// buffer instead of waiting for the stores to drain, which field-by-field copies did.
constexpr std::size_t STATE_BYTES = offsetof(Position, phase) + 4 - offsetof(Position, key);
static_assert(offsetof(HistoryEntry, key) == 0 && offsetof(HistoryEntry, phase) + 4 == STATE_BYTES);
static_assert(offsetof(Position, captured) - offsetof(Position, key) ==
              offsetof(HistoryEntry, captured));
static_assert(offsetof(Position, material) - offsetof(Position, key) ==
              offsetof(HistoryEntry, material));
static_assert(offsetof(Position, extend) - offsetof(Position, key) ==
              offsetof(HistoryEntry, extend));

// Copies the state block of the position into an undo record (the move is left alone).
inline void state_save(const Position& pos, HistoryEntry& e) {
    std::memcpy(static_cast<void*>(&e), &pos.key, STATE_BYTES);
}

// Copies an undo record's state block back into the position.
inline void state_restore(Position& pos, const HistoryEntry& e) {
    std::memcpy(&pos.key, static_cast<const void*>(&e), STATE_BYTES);
}

// Capacity of one generation: the most legal moves of any position is 218.
constexpr int MOVELIST_SIZE = 256;

// Output of the generators and state of the pickers. stage: 0 nothing generated yet,
// 2 captures generated, 1 quiet moves generated. A list of all zeroes starts a fresh walk.
struct MoveList {
    std::uint32_t count;
    std::uint32_t sorted;
    std::uint32_t cursor;
    Move moves[MOVELIST_SIZE];
    std::int32_t keys[MOVELIST_SIZE];
    std::uint32_t stage;
};

// Pieces of one colour (slot = colour) or of one code; the plain occupancy of both colours.
inline Bitboard occupancy(const Position& pos) {
    return pos.bitboards[OCC_WHITE] | pos.bitboards[OCC_BLACK];
}

// A new position at the standard start; allocation failure ends the process.
Position* position_new();
void position_free(Position* pos);
// Sets every field to zero: empty board, White to move, every history entry zero.
void position_clear(Position& pos);
// Sets the standard start position (clears first), castling by the Chess960 rules when
// chess960 is true.
void position_set_start(Position& pos, bool chess960 = false);
// Places a piece on an empty square, keeping every derived field and the key current.
void position_put_piece(Position& pos, int piece, int square);
// Makes the rook on rook_square the castling rook of right index i (right 1 << i) for the king
// on king_square, both on their first rank, the rook on the wing the right names: fills the
// right's move word, its path and the castling mask of both squares. chess960 must be set
// before; the rights themselves (castling, key) are the caller's.
void position_set_castle_rook(Position& pos, int right, int king_square, int rook_square);
// The king's and the rook's targets of a castling on the king's rank: g- and f-file for the
// king side (rook above the king), c- and d-file for the queen side.
constexpr int castle_king_target(int king_square, int rook_square) {
    return (king_square & 56) + (rook_square > king_square ? 6 : 2);
}
constexpr int castle_rook_target(int king_square, int rook_square) {
    return (king_square & 56) + (rook_square > king_square ? 5 : 3);
}
static_assert(castle_king_target(4, 7) == 6 && castle_rook_target(4, 7) == 5);       // e1h1: g1 f1
static_assert(castle_king_target(57, 56) == 58 && castle_rook_target(57, 56) == 59); // b8a8: c8 d8

} // namespace orbelin
