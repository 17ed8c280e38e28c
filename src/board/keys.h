#pragma once
// Zobrist hash keys, drawn once at start-up from the seed-0 generator; read-only afterwards.
#include "board/position.h"

#include <cstdint>
#include <glib.h>

namespace orbelin {

inline std::uint64_t zobrist_piece[14][64]; // rows 0 and 1 are drawn but never used
inline std::uint64_t zobrist_ep[8];         // by the file of the en-passant square
inline std::uint64_t zobrist_castle[4];     // right 1 << i uses index i
inline std::uint64_t zobrist_side;          // Black to move
// The keys of every set of castling rights XORed together, by the set's bits: a move that
// drops several rights at once changes the key by one lookup.
inline std::uint64_t zobrist_castle_set[16];

// Draws all keys: piece codes 0..13 by squares 0..63, then en-passant files, castling rights
// and the side key; each key is two g_rand_int draws, low half first. Fills zobrist_castle_set
// from them. Called by init_tables.
void init_keys(GRand* rng);

// The key of a position computed from scratch (setup paths and consistency tests).
std::uint64_t position_compute_key(const Position& pos);

} // namespace orbelin
